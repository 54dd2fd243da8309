// System DLLs from the system folder only.
#include "support/system_library.h"

#include <cwchar>

bool HasDllSearchFlags(HMODULE kernel) {
    FARPROC setDefault = kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    return setDefault != nullptr;
}

bool RestrictDllSearch(HMODULE kernel) {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    SetDefaultDllDirectoriesFunction setDefault;
    if (FindExport(kernel, "SetDefaultDllDirectories", setDefault) && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return true;
    }
    // An empty DLL folder removes the current folder from the search order.
    SetDllDirectoryW(L"");
    return false;
}

HMODULE LoadSystemLibrary(const wchar_t* name, bool searchFlags) {
    if (searchFlags) return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without the flags only a full path keeps the loader out of the application's folder;
    // the altered search path looks for the library's own imports beside it first.
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (!length || length + 1 + wcslen(name) >= MAX_PATH) return nullptr;
    path[length] = L'\\';
    wcscpy(path + length + 1, name);
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
