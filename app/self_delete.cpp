// Self-deletion of the working copy after the uninstall, repair and update dialogs, and of
// the uninstaller that waited for an unattended uninstall of its own installation.
#include <windows.h>

#include <cwchar>

#include "app/startup.h"
#include "support/bounded_text.h"
#include "support/path.h"

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
    wchar_t name[32];
    FormatCut(name, 32, L"~srdel%lu.tmp", GetCurrentProcessId());
    JoinPath(aside, temp, name);
    if (MoveFileExW(own, aside, MOVEFILE_REPLACE_EXISTING)) CopyCut(own, aside);
}

}  // namespace

void MakeSelfDeleteCommand(wchar_t* command, const wchar_t* system, const wchar_t* file, const wchar_t* emptyFolder) {
    // The interpreter's low priority alone does not keep it from running before this process
    // has let go of its file (seen under Wine, after a run that used the shell), and a
    // failed del is not tried again: two pings of the loopback give this process a second.
    // rmdir without /s: the folder goes only when nothing else is left in it.
    wchar_t interpreter[kPathChars], ping[kPathChars];
    JoinPath(interpreter, system, L"cmd.exe");
    JoinPath(ping, system, L"ping.exe");
    const size_t length = FormatCut(command, kSelfDeleteCommandChars,
                                    L"\"%s\" /d /s /c \"\"%s\" -n 2 127.0.0.1 >nul & del /f \"%s\"", interpreter,
                                    ping, file);
    if (emptyFolder && emptyFolder[0]) {
        FormatCut(command + length, kSelfDeleteCommandChars - length, L" & rmdir \"%s\"", emptyFolder);
    }
    wcscat(command, L"\"");
}

int DeleteSelf(const wchar_t* emptyFolder) {
    wchar_t own[kPathChars], system[kPathChars], interpreter[kPathChars];
    const UINT systemLength = GetSystemDirectoryW(system, kPathChars);
    if (!systemLength || systemLength >= kPathChars || !GetModuleFileNameW(nullptr, own, kPathChars)) return 0;
    MoveAside(own);
    wchar_t command[kSelfDeleteCommandChars];
    MakeSelfDeleteCommand(command, system, own, emptyFolder);
    JoinPath(interpreter, system, L"cmd.exe");

    STARTUPINFOW startup = {sizeof startup};
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(interpreter, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, system, &startup,
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
