// SrTestInterface.dll: stands in for an input method's "ITF\Interface.dll". Each call of its
// export appends the four arguments to the file named by SR_INTERFACE_RECORD, so that a test
// sees the call after the module has been freed and its folder deleted.
#include <windows.h>

#include <cstdio>

// Built a second time as SrTestInterfaceNeighbour.dll, which imports from SrPlanted.dll: a
// module with a neighbour of its own in its folder.
#ifdef SR_INTERFACE_NEEDS_NEIGHBOUR
extern "C" __declspec(dllimport) int SrPlantedNeighbour();
#endif

extern "C" __declspec(dllexport) LRESULT WINAPI SRInterfaceMessage(DWORD a, DWORD b, DWORD c, DWORD d) {
#ifdef SR_INTERFACE_NEEDS_NEIGHBOUR
    if (!SrPlantedNeighbour()) return 0;
#endif
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"SR_INTERFACE_RECORD", path, MAX_PATH)) return 0;
    char line[64];
    const int length = snprintf(line, sizeof line, "%lu %lu %lu %lu\n", a, b, c, d);
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
    return 1;
}
