// The relaunch: the file the user started copies itself into the work folder, starts the
// copy with its own arguments plus "file=" and its path, and ends.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "run/folders.h"
#include "run/install_layout.h"
#include "app/startup.h"
#include "framework/handles.h"
#include "framework/message_box.h"
#include "support/bounded_text.h"
#include "support/path.h"

bool IsWorkingCopy(const RUNSTATE& state) { return wcsstr(state.ownPath, kWorkingCopyFile) != nullptr; }

int EnsureWorkingCopy(RUNSTATE& state, const wchar_t* arguments, const wchar_t* startingFolder, DWORD* copyExitCode) {
    if (!PrepareWorkFolder(&state, !IsWorkingCopy(state))) {
        if (!copyExitCode) fw::ShowError(nullptr, L"安装程序无法访问临时目录，将中止进程。", L"初始化错误");
        return 0;
    }
    if (IsWorkingCopy(state)) {
        FormatCut(state.commandLine, kPathChars, L"%s", arguments);
        return 1;
    }

    wchar_t copy[kPathChars];
    JoinPath(copy, state.workFolder, kWorkingCopyFile);
    if (!CopyFileW(state.ownPath, copy, FALSE)) {
        if (!copyExitCode) fw::ShowError(nullptr, L"安装程序无法访问临时目录，将中止进程。", L"初始化错误");
        return 0;
    }

    FormatCut(state.commandLine, kPathChars, L"%s file=%s", arguments, state.ownPath);
    SHELLEXECUTEINFOW launch = {sizeof launch};
    // Unattended, a failure is told by the exit code: the shell's own error box would wait
    // for a click that never comes.
    launch.fMask = copyExitCode ? SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI : 0;
    launch.lpFile = copy;
    launch.lpParameters = state.commandLine;
    // Where this process was started: the copy records it as its own starting folder, for the
    // relative paths of the command line, and leaves it for the system folder at once.
    if (startingFolder[0]) launch.lpDirectory = startingFolder;
    launch.nShow = SW_SHOW;
    if (!ShellExecuteExW(&launch)) {
        if (!copyExitCode) fw::ShowError(nullptr, L"安装程序位于临时目录中的副本无法运行，将中止进程。", L"初始化错误");
        return 0;
    }
    if (copyExitCode && launch.hProcess) {
        // Unattended: the caller learns the outcome from this process's exit code.
        fw::UniqueHandle process(launch.hProcess);
        WaitForSingleObject(process.Get(), INFINITE);
        GetExitCodeProcess(process.Get(), copyExitCode);
    }
    return 0;
}
