// SrTestInterface.dll: stands in for an input method's "ITF\Interface.dll". Each call of its
// export appends the four arguments to the file named by SR_INTERFACE_RECORD, so that a test
// sees the call after the module has been freed and its folder deleted.
#include <windows.h>

#include <cstdio>

extern "C" __declspec(dllexport) LRESULT WINAPI SRInterfaceMessage(DWORD a, DWORD b, DWORD c, DWORD d) {
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
