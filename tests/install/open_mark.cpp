// SrOpenMark.exe: stands in for a package's file to open. Started, it leaves "opened.txt"
// beside itself and ends at once; a window program, so that no console comes with it.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (!length || length >= MAX_PATH) return 1;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (!slash || slash + 11 >= path + MAX_PATH) return 1;
    lstrcpyW(slash + 1, L"opened.txt");
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(file);
    return 0;
}
