// srguidemo: walks the sample installer's wizard on a real display, page by page, as a user
// would, and has a screenshot taken of every page. scripts/demo --gui runs it under Xvfb.
//
// The screenshots are taken on the Linux side: for each one this program writes a line
// "@shot NAME X Y WIDTH HEIGHT" (screen coordinates), followed by "XID DX DY" for each window
// to lay over that part of the screen, and waits until NAME.png appears in the
// folder given as its argument. Its last line is "@end", so the script need not wait for its
// output to close.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "demo/demo_output.h"
#include "payload/container.h"
#include "res/resource.h"
#include "tests/harness/demo_installation.h"
#include "tests/harness/module_holder.h"
#include "tests/harness/process.h"
#include "tests/harness/test_folder.h"
#include "tests/harness/ui_driver.h"

namespace {

constexpr wchar_t kWelcome[] = L"欢迎使用Demo输入法安装向导";
constexpr wchar_t kLicence[] = L"Demo输入法安装向导--->许可协议";
constexpr wchar_t kDestination[] = L"Demo输入法安装向导--->选择安装位置";
constexpr wchar_t kProgress[] = L"Demo输入法安装向导--->开始安装";
constexpr wchar_t kFinish[] = L"Demo输入法安装向导--->完成安装";
constexpr wchar_t kError[] = L"输入法安装向导--->错误";
constexpr wchar_t kLoadStatus[] = L"输入法载入状态";
constexpr wchar_t kRefused[] = L"无法执行的操作";
constexpr wchar_t kCancelQuestion[] = L"用户中止操作";
constexpr DWORD kInstallTimeoutMs = 120000;

std::wstring g_shots;  // where the script writes the screenshots, with a backslash
int g_taken = 0;

using demo::Say;
using demo::TempFolder;

// Lets the windows' threads paint and the display driver put the result on the screen: a
// window that has just appeared has not been drawn yet.
void LetPaint(std::initializer_list<HWND> windows) {
    for (int round = 0; round < 2; ++round) {
        for (HWND w : windows) {
            RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
            DWORD_PTR ignored;
            SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
        }
        Sleep(250);
    }
}

// A screenshot of the smallest rectangle that holds the windows, taken by the script. The
// screen alone does not do: in Xvfb's screen image some windows (message boxes, the
// load-status dialog) stay black, while their own X windows hold what was drawn. So each window's X window (Wine
// keeps its id in a window property) goes along, bottom one first, with its place in the shot.
bool Shot(const wchar_t* name, const wchar_t* what, std::initializer_list<HWND> windows) {
    LetPaint(windows);
    RECT all = {};
    for (HWND w : windows) {
        RECT r;
        GetWindowRect(w, &r);
        UnionRect(&all, &all, &r);
    }
    std::wstring request = L"@shot " + std::wstring(name) + L" " + std::to_wstring(all.left) + L" " +
                           std::to_wstring(all.top) + L" " + std::to_wstring(all.right - all.left) + L" " +
                           std::to_wstring(all.bottom - all.top);
    for (HWND w : windows) {
        RECT r;
        GetWindowRect(w, &r);
        const auto x = reinterpret_cast<UINT_PTR>(GetPropW(w, L"__wine_x11_whole_window"));
        if (x) {
            request += L" " + std::to_wstring(x) + L" " + std::to_wstring(r.left - all.left) + L" " +
                       std::to_wstring(r.top - all.top);
        }
    }
    const std::wstring file = g_shots + name + L".png";
    DeleteFileW(file.c_str());
    Say(request);
    for (DWORD start = GetTickCount(); !test::Exists(file); Sleep(50)) {
        if (GetTickCount() - start > 30000) {
            Say(L"  FAILED: no screenshot " + file);
            return false;
        }
    }
    ++g_taken;
    Say(L"  screenshot " + std::wstring(name) + L".png: " + what);
    return true;
}

// A window of the working copy's thread; reports when it does not come.
HWND Await(DWORD thread, const wchar_t* title, DWORD timeoutMs = 20000) {
    HWND window = test::WaitForWindow(thread, title, timeoutMs);
    if (!window) Say(std::wstring(L"  FAILED: no window titled \"") + title + L"\" appeared");
    return window;
}

// An edit's text asked of the control itself: another process's GetWindowText does not.
std::wstring EditText(HWND dialog, int id) {
    wchar_t text[MAX_PATH] = {};
    SendDlgItemMessageW(dialog, id, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(text));
    return text;
}

DWORD ThreadOf(HWND window) { return GetWindowThreadProcessId(window, nullptr); }

// Starts an installer as the user would; returns its welcome (or error) page and the working
// copy's process, which the first process starts before it ends.
HWND StartInstaller(const std::wstring& setup, const wchar_t* title, fw::UniqueHandle& copy) {
    Say(L"  started: \"" + setup + L"\"");
    fw::UniqueHandle first = test::StartWithTemp(setup, L"", TempFolder());
    test::WaitForExit(first.Get());
    HWND page = Await(0, title);
    if (page) copy = test::ProcessOfWindow(page);
    return page;
}

// Ends a run that went wrong, so that no window stays open.
void Abandon(fw::UniqueHandle& copy) {
    if (copy.Valid() && test::WaitForExit(copy.Get(), 0) == STILL_ACTIVE) {
        // The handle from the window has no right to end the process.
        fw::UniqueHandle ending(OpenProcess(PROCESS_TERMINATE, FALSE, GetProcessId(copy.Get())));
        if (ending.Valid()) TerminateProcess(ending.Get(), 1);
        test::WaitForExit(copy.Get());
        Say(L"  ended the installer that was left open");
    }
}

// The holder of the module copy under the name the installer looks for, so that the
// progress page's check finds a process that has the input method loaded.
std::wstring HeldModule() {
    const std::wstring folder = TempFolder() + L"srguidemo\\";
    std::filesystem::create_directories(folder);
    const std::wstring module = folder + L"Demo(1).ime";
    CopyFileW(test::ProgramBeside(L"SrGuardTest.ime").c_str(), module.c_str(), FALSE);
    return module;
}

// From the welcome page to the progress page, accepting the licence on the way; the
// screenshots only when `shoot`. Null when a page did not come.
HWND ToProgressPage(HWND welcome, bool shoot, std::wstring& folder, bool& ok) {
    const DWORD ui = ThreadOf(welcome);
    if (shoot) {
        ok &= Shot(L"01-welcome", L"the welcome page, the user and company names prefilled from the registry",
                   {welcome});
    }
    Say(L"    user \"" + EditText(welcome, IDC_USER_NAME) + L"\", company \"" +
        EditText(welcome, IDC_COMPANY_NAME) + L"\"; pressed 下一步(&N)");
    test::Press(welcome, IDOK);

    HWND licence = Await(ui, kLicence);
    if (!licence) return nullptr;
    if (shoot) {
        ok &= Shot(L"02-licence",
                   L"the licence page as it opens: declined, 下一步(&N) disabled (the agreement's pane stays "
                   L"white: Debian's Wine lacks Gecko, the HTML engine its browser control needs)",
                   {licence});
    }
    test::Click(licence, IDC_ACCEPT);
    if (shoot) {
        ok &= Shot(L"03-licence-accepted", L"the licence page after 我已经仔细阅读并接受该协议: 下一步(&N) enabled",
                   {licence});
    }
    Say(L"    accepted the licence; pressed 下一步(&N)");
    test::Press(licence, IDOK);

    HWND destination = Await(ui, kDestination);
    if (!destination) return nullptr;
    if (shoot) {
        ok &= Shot(L"04-destination", L"the destination page: the proposed folder, the size, the drives",
                   {destination});
    }
    folder = EditText(destination, IDC_DESTINATION);
    Say(L"    folder \"" + folder + L"\"; pressed 下一步(&N)");
    test::Press(destination, IDOK);
    return Await(ui, kProgress);
}

bool WalkTheWizard(const std::wstring& setup) {
    fw::UniqueHandle copy;
    HWND welcome = StartInstaller(setup, kWelcome, copy);
    if (!welcome) return false;
    const DWORD ui = ThreadOf(welcome);
    bool ok = true;
    std::wstring folder;
    HWND progress = ToProgressPage(welcome, true, folder, ok);
    if (!progress) return Abandon(copy), false;
    ok &= Shot(L"05-progress", L"the progress page before the install", {progress});

    test::Holder holder(HeldModule());
    Say(holder.Ready() ? L"    a helper process (id " + std::to_wstring(holder.Id()) + L") now holds Demo(1).ime"
                       : L"  FAILED: the helper process could not load the module");
    Say(L"    pressed 开始安装(&S)");
    test::Press(progress, IDOK);
    HWND status = Await(ui, kLoadStatus);
    if (!status) return Abandon(copy), false;
    ok &= Shot(L"06-load-status", L"the load-status dialog over the progress page, listing the helper",
               {progress, status});
    Say(L"    pressed 取　消(&C)");
    test::Press(status, IDCANCEL);
    HWND refused = Await(ui, kRefused);
    if (!refused) return Abandon(copy), false;
    ok &= Shot(L"07-refused", L"the refusal after the load-status dialog was cancelled", {progress, refused});
    PostMessageW(refused, WM_COMMAND, IDOK, 0);
    test::WaitUntilGone(refused);

    Say(L"    pressed 开始安装(&S) again, then 结束进程(&E)");
    test::Press(progress, IDOK);
    status = Await(ui, kLoadStatus);
    if (!status) return Abandon(copy), false;
    test::Press(status, IDC_END_PROCESSES);
    // Not by the exit code: the dialog ends processes with the code they had, STILL_ACTIVE.
    const bool ended = WaitForSingleObject(holder.Process(), 20000) == WAIT_OBJECT_0;
    Say(ended ? L"    the helper process was ended; the install runs" : L"  FAILED: the helper process still runs");
    ok &= ended;

    HWND finish = Await(ui, kFinish, kInstallTimeoutMs);
    if (!finish) return Abandon(copy), false;
    ok &= Shot(L"08-finish", L"the finish page", {finish});
    Say(L"    pressed 确定(&O)");
    test::Press(finish, IDOK);
    const DWORD code = test::WaitForExit(copy.Get());
    Say(L"    the wizard closed; the working copy ended with exit code " + std::to_wstring(code));
    const bool installed = test::Exists(folder + L"Unstall.exe");
    Say(installed ? L"    " + folder + L" holds Unstall.exe: installed" : L"  FAILED: nothing installed in " + folder);

    test::RemoveDemoInstallation();
    test::RemoveTree(folder);
    return ok && installed && code != STILL_ACTIVE;
}

// The sample installer with its module taken out of the unpacked payload while the wizard
// runs: the install fails and the progress page stays with its lines and one button.
bool ShowAFailedInstall(const std::wstring& setup) {
    fw::UniqueHandle copy;
    HWND welcome = StartInstaller(setup, kWelcome, copy);
    if (!welcome) return false;
    bool ok = true;
    std::wstring folder;
    HWND progress = ToProgressPage(welcome, false, folder, ok);
    if (!progress) return Abandon(copy), false;
    const std::wstring module = TempFolder() + L"__SRIMEInstall\\SR_INSTALL\\Demo.ime";
    ok &= DeleteFileW(module.c_str()) != 0;
    Say(L"    deleted " + module + L"; pressed 开始安装(&S)");
    test::Press(progress, IDOK);
    bool failed = false;
    for (DWORD start = GetTickCount(); !failed && GetTickCount() - start < kInstallTimeoutMs; Sleep(50)) {
        failed = test::ItemText(progress, IDOK) == L"确定(&O";
    }
    if (!failed) {
        Say(L"  FAILED: the progress page did not switch to its failed state");
        return Abandon(copy), false;
    }
    ok &= Shot(L"09-install-failed", L"the progress page after the failed install: its lines, one button 确定(&O",
               {progress});
    const std::vector<std::wstring> lines = test::ListLines(progress, IDC_DETAILS);
    Say(L"    " + std::to_wstring(lines.size()) + L" lines, the last \"" + (lines.empty() ? L"" : lines.back()) +
        L"\"; pressed 确定(&O");
    test::Press(progress, IDOK);
    const DWORD code = test::WaitForExit(copy.Get());
    Say(L"    the wizard closed; the working copy ended with exit code " + std::to_wstring(code));
    test::RemoveDemoInstallation();
    test::RemoveTree(folder);
    return ok && code != STILL_ACTIVE;
}

// An installer whose payload is no cabinet: the start-up shows the error page.
bool ShowTheErrorPage(const std::wstring& setup) {
    std::filesystem::create_directories(std::filesystem::path(setup).parent_path());
    std::string image = test::ReadBytes(test::ProgramBeside(L"srinstallbase.exe"));
    std::string payload = "CRYP";
    payload.resize(4096, '\x5A');
    WritePayloadOffset(reinterpret_cast<BYTE*>(&image[0]), static_cast<DWORD>(image.size()),
                       static_cast<DWORD>(image.size()));
    test::WriteBytes(setup, image + payload);
    Say(L"  made " + setup + L": the program with " + std::to_wstring(payload.size()) +
        L" bytes appended that are no cabinet");
    fw::UniqueHandle copy;
    HWND error = StartInstaller(setup, kError, copy);
    if (!error) return false;
    bool ok = Shot(L"10-error", L"the error page", {error});
    Say(L"    pressed 完成(&O)");
    test::Press(error, IDOK);
    const DWORD code = test::WaitForExit(copy.Get());
    Say(L"    the working copy ended with exit code " + std::to_wstring(code));
    return ok && code != STILL_ACTIVE;
}

// The cancel question, asked from the welcome page and answered Yes.
bool AskTheCancelQuestion(const std::wstring& setup) {
    fw::UniqueHandle copy;
    HWND welcome = StartInstaller(setup, kWelcome, copy);
    if (!welcome) return false;
    Say(L"    pressed 取消(&C)");
    test::Press(welcome, IDCANCEL);
    HWND question = Await(ThreadOf(welcome), kCancelQuestion);
    if (!question) return Abandon(copy), false;
    bool ok = Shot(L"11-cancel-question", L"the cancel question over the welcome page", {welcome, question});
    Say(L"    answered 是(&Y)");
    PostMessageW(question, WM_COMMAND, IDYES, 0);
    const DWORD code = test::WaitForExit(copy.Get());
    Say(L"    the wizard closed; the working copy ended with exit code " + std::to_wstring(code));
    return ok && code != STILL_ACTIVE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        Say(L"usage: srguidemo SCREENSHOT-FOLDER");
        return 2;
    }
    g_shots = argv[1];
    if (g_shots.back() != L'\\') g_shots += L'\\';

    bool ok = true;
    Say(L"1. The sample installer, every page of its wizard");
    ok &= WalkTheWizard(test::ProgramBeside(L"DemoSetup.exe"));
    Say(L"2. The sample installer, its module deleted from the unpacked payload before the install");
    ok &= ShowAFailedInstall(test::ProgramBeside(L"DemoSetup.exe"));
    Say(L"3. An installer whose payload is damaged");
    ok &= ShowTheErrorPage(TempFolder() + L"srguidemo\\BrokenSetup.exe");
    Say(L"4. The sample installer, cancelled on its first page");
    ok &= AskTheCancelQuestion(test::ProgramBeside(L"DemoSetup.exe"));
    test::RemoveTree(TempFolder() + L"srguidemo\\");

    Say(std::wstring(ok ? L"gui demo finished: " : L"gui demo finished with FAILURES: ") + std::to_wstring(g_taken) +
        L" screenshots");
    Say(L"@end");
    return ok ? 0 : 1;
}
