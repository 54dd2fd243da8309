// SrModuleHolder: loads the modules named on its command line (or, given as "--open=FILE",
// opens the file without letting others delete or write it), writes "ready" to standard output
// and holds them until its standard input closes, for at most 60 seconds or the "--hold=SECONDS"
// given first (a run under emulation takes minutes to reach the module).
#include <windows.h>

#include <cwchar>

namespace {

DWORD WINAPI ReadToEnd(void*) {
    char buffer[64];
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) && read) {
    }
    return 0;
}

void Say(const char* line) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, lstrlenA(line), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD holdMs = 60000;
    int first = 1;
    if (argc > 1 && wcsncmp(argv[1], L"--hold=", 7) == 0) {
        holdMs = static_cast<DWORD>(wcstoul(argv[1] + 7, nullptr, 10)) * 1000;
        first = 2;
    }
    for (int i = first; i < argc; ++i) {
        // Opened, not loaded: a 64-bit holder can keep a 32-bit module in use that way.
        if (wcsncmp(argv[i], L"--open=", 7) == 0) {
            if (CreateFileW(argv[i] + 7, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr) ==
                INVALID_HANDLE_VALUE) {
                Say("failed\n");
                return 2;
            }
            continue;
        }
        if (!LoadLibraryW(argv[i])) {
            Say("failed\n");
            return 2;
        }
    }
    Say("ready\n");
    // A test that dies without closing the pipe leaves no holder behind for long.
    HANDLE reader = CreateThread(nullptr, 0, ReadToEnd, nullptr, 0, nullptr);
    if (reader) WaitForSingleObject(reader, holdMs);
    return 0;
}
