// SrModuleHolder: loads the modules named on its command line (or, given as "--open=FILE",
// opens the file without letting others delete or write it), writes "ready" to standard output
// and holds them until its standard input closes, for at most 60 seconds.
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
    for (int i = 1; i < argc; ++i) {
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
    if (reader) WaitForSingleObject(reader, 60000);
    return 0;
}
