// Loading the system's own DLLs from the system folder only. The program runs elevated from
// folders that others can write to (the downloads folder, the work folder, the installation
// folder), so a DLL looked up by its bare name must never be found there.
#pragma once
#include <windows.h>

// Whether the loader takes the LOAD_LIBRARY_SEARCH_* flags: a Windows 7 without its loader
// update lacks them, and then lacks SetDefaultDllDirectories too, which tells them apart.
bool HasDllSearchFlags(HMODULE kernel = GetModuleHandleW(L"kernel32.dll"));

// The first thing the program does: every later load by bare name searches the system folder
// only. Without the search flags the current folder is at least taken out of the search
// (the run-time loads then name the system folder in full). True when the flags took effect.
bool RestrictDllSearch(HMODULE kernel = GetModuleHandleW(L"kernel32.dll"));

// The system DLL `name` ("wininet.dll") from the system folder, its own imports resolved
// there too; null when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name, bool searchFlags = HasDllSearchFlags());

// Looks up an export into a typed function pointer; null when the module lacks it.
template <class Function>
bool FindExport(HMODULE module, const char* name, Function& function) {
    function = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
    return function != nullptr;
}
