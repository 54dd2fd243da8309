// SrPlanted.dll: a marker that tests plant under the name of a system DLL (wininet.dll,
// Cabinet.dll) or of a module's neighbour where a program must not load it from. Loaded, it
// appends its own path to the file named by SR_PLANTED_RECORD.
#include <windows.h>

namespace {

void Record(HMODULE self) {
    wchar_t record[MAX_PATH], path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"SR_PLANTED_RECORD", record, MAX_PATH)) return;
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH - 1);
    if (!length) return;
    path[length] = L'\n';
    HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, path, (length + 1) * sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) Record(self);
    return TRUE;
}

// What an interface module that needs a neighbour imports.
extern "C" __declspec(dllexport) int SrPlantedNeighbour() { return 1; }
