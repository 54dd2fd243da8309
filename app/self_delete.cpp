// Self-deletion of the working copy after the uninstall, repair and update dialogs.
#include <windows.h>

#include "app/startup.h"
#include "support/bounded_text.h"

int DeleteSelf() {
    wchar_t own[kPathChars];
    wchar_t interpreter[kPathChars];
    if (!GetModuleFileNameW(nullptr, own, kPathChars)) return 0;
    if (!GetEnvironmentVariableW(L"COMSPEC", interpreter, kPathChars)) return 0;
    if (!GetShortPathNameW(own, own, kPathChars)) return 0;

    wchar_t command[520];
    FormatCut(command, 520, L"%s /c del %s", interpreter, own);

    STARTUPINFOW startup = {sizeof startup};
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &process)) {
        return 0;
    }
    // The interpreter must run only after this process has ended and released its file.
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    SetFileAttributesW(own, FILE_ATTRIBUTE_NORMAL);
    SetPriorityClass(process.hProcess, IDLE_PRIORITY_CLASS);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}
