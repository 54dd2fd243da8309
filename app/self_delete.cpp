// Self-deletion of the working copy after the uninstall, repair and update dialogs, and of
// the uninstaller that waited for an unattended uninstall of its own installation.
#include <windows.h>

#include "app/startup.h"
#include "support/bounded_text.h"

namespace {

// The interpreter's del runs a second after this process ends, and by then the next run may
// have put its own working copy where this one lay, under the same name. A running program's
// file can still be renamed: it is moved to a name of this process's own in the temporary
// folder, so that the delayed del can only ever hit this file. Where the move fails (another
// volume), the file stays where it is and is deleted there.
void MoveAside(wchar_t (&own)[kPathChars]) {
    wchar_t temp[kPathChars], aside[kPathChars];
    const DWORD length = GetTempPathW(kPathChars, temp);
    if (!length || length >= kPathChars) return;
    FormatCut(aside, kPathChars, L"%s~srdel%lu.tmp", temp, GetCurrentProcessId());
    if (MoveFileExW(own, aside, MOVEFILE_REPLACE_EXISTING)) CopyCut(own, aside);
}

}  // namespace

int DeleteSelf(const wchar_t* emptyFolder) {
    wchar_t own[kPathChars];
    wchar_t interpreter[kPathChars];
    if (!GetModuleFileNameW(nullptr, own, kPathChars)) return 0;
    if (!GetEnvironmentVariableW(L"COMSPEC", interpreter, kPathChars)) return 0;
    MoveAside(own);
    if (!GetShortPathNameW(own, own, kPathChars)) return 0;

    // The interpreter's low priority alone does not keep it from running before this process
    // has let go of its file (seen under Wine, after a run that used the shell), and a
    // failed del is not tried again: two pings of the loopback give this process a second.
    // rmdir without /s: the folder goes only when nothing else is left in it.
    wchar_t command[800];
    wchar_t folder[kPathChars];
    if (emptyFolder && GetShortPathNameW(emptyFolder, folder, kPathChars)) {
        FormatCut(command, 800, L"%s /c ping -n 2 127.0.0.1 >nul & del %s & rmdir %s", interpreter, own, folder);
    } else {
        FormatCut(command, 800, L"%s /c ping -n 2 127.0.0.1 >nul & del %s", interpreter, own);
    }

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
