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

// A library loaded at run time, freed with its owner; Bind looks up its exports.
class LoadedLibrary {
public:
    LoadedLibrary() = default;
    ~LoadedLibrary() { Reset(); }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    // A system DLL, as LoadSystemLibrary finds it.
    bool LoadSystem(const wchar_t* name) { return Reset(LoadSystemLibrary(name)); }
    // A library by its full path, with the loader's flags.
    bool Load(const wchar_t* path, DWORD flags) { return Reset(LoadLibraryExW(path, nullptr, flags)); }
    // Frees what it held and takes module; true when that is a module.
    bool Reset(HMODULE module = nullptr) {
        if (m_module) FreeLibrary(m_module);
        m_module = module;
        return m_module != nullptr;
    }

    HMODULE Get() const { return m_module; }
    template <class Function>
    bool Bind(const char* name, Function& function) const { return FindExport(m_module, name, function); }

private:
    HMODULE m_module = nullptr;
};
