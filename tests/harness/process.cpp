// Processes of the programs under test.
#include "tests/harness/process.h"

#include <winternl.h>

#include <cstddef>
#include <vector>

namespace test {

std::wstring EnvironmentWithTemp(const std::wstring& tempFolder) {
    std::wstring block;
    wchar_t* env = GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
        if (_wcsnicmp(p, L"TMP=", 4) == 0 || _wcsnicmp(p, L"TEMP=", 5) == 0) continue;
        block.append(p).push_back(L'\0');
    }
    FreeEnvironmentStringsW(env);
    block.append(L"TMP=" + tempFolder).push_back(L'\0');
    block.append(L"TEMP=" + tempFolder).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

fw::UniqueHandle StartCommandWithTemp(const std::wstring& commandLine, const std::wstring& tempFolder,
                                      const std::wstring& currentFolder) {
    std::wstring block = EnvironmentWithTemp(tempFolder);
    std::wstring command = commandLine;
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, &block[0],
                        currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup, &process)) {
        return fw::UniqueHandle();
    }
    CloseHandle(process.hThread);
    return fw::UniqueHandle(process.hProcess);
}

fw::UniqueHandle StartWithTemp(const std::wstring& program, const std::wstring& arguments,
                               const std::wstring& tempFolder, const std::wstring& currentFolder) {
    return StartCommandWithTemp(L"\"" + program + L"\" " + arguments, tempFolder, currentFolder);
}

DWORD WaitForExit(HANDLE process, DWORD timeoutMs) {
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

std::wstring CommandLineOf(HANDLE process) {
    // The process parameters, and in them the command line, at the places that winternl.h
    // gives for this program's own kind: the processes it reads are of the same build (PEB+0x10
    // and 0x40 in a 32-bit process, PEB+0x20 and 0x70 in a 64-bit one). Wine keeps the layout.
    PROCESS_BASIC_INFORMATION basic = {};
    using Query = NTSTATUS(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return L"";
    const BYTE* peb = reinterpret_cast<const BYTE*>(basic.PebBaseAddress);
    const BYTE* parameters = nullptr;
    UNICODE_STRING line = {};
    if (!ReadProcessMemory(process, peb + offsetof(PEB, ProcessParameters), &parameters, sizeof parameters, nullptr) ||
        !ReadProcessMemory(process, parameters + offsetof(RTL_USER_PROCESS_PARAMETERS, CommandLine), &line,
                           sizeof line, nullptr)) {
        return L"";
    }
    std::wstring text(line.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process, line.Buffer, &text[0], line.Length, nullptr)) return L"";
    return text;
}

std::wstring ImagePathOf(HANDLE process) {
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process, 0, path, &size)) return L"";
    return std::wstring(path, size);
}

fw::UniqueHandle ProcessOfWindow(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return fw::UniqueHandle(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid));
}

}  // namespace test
