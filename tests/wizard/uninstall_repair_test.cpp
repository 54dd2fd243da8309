// The uninstall dialog over an installed sample package, driven as a user
// would: the process guard first, then the button that runs, then the button that closes.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/harness/installed_demo.h"
#include "tests/harness/module_holder.h"
#include "tests/harness/run_driven.h"
#include "tests/harness/ui_driver.h"
#include "wizard/uninstall_dialog.h"

namespace {

using test::Exists;

constexpr wchar_t kDone[] = L"完成(&O)";

// A click whose handler runs long: posted, so the driver can watch for its end.
void Press(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Polls until the button reads `caption`; false when it never does.
bool WaitForCaption(HWND dialog, const wchar_t* caption) {
    for (int i = 0; i < 3000; ++i, Sleep(20)) {
        if (test::ItemText(dialog, IDOK) == caption) return true;
    }
    return false;
}

// What one dialog showed while it was driven.
struct Seen {
    std::wstring title, captionAtStart, stateAtStart, captionAfter, stateAfter;
    std::vector<std::wstring> lines;
    int position = -1;
};

class UninstallDialogTest : public test::InstalledDemoTest {
protected:
    // Opens the dialog, presses its button, waits for "完成(&O)" and presses that too.
    template <class D>
    INT_PTR RunThrough(D& dialog, Seen& seen) {
        return test::RunDriven(dialog, [&](HWND w) {
            seen.title = test::TextOf(w);
            seen.captionAtStart = test::ItemText(w, IDOK);
            seen.stateAtStart = test::ItemText(w, IDC_STATE_TEXT);
            if (seen.captionAtStart != kDone) {
                Press(w, IDOK);
                if (!WaitForCaption(w, kDone)) return;
            }
            seen.captionAfter = test::ItemText(w, IDOK);
            seen.stateAfter = test::ItemText(w, IDC_STATE_TEXT);
            seen.lines = test::ListLines(w, IDC_DETAILS);
            seen.position = static_cast<int>(SendDlgItemMessageW(w, IDC_PROGRESS, PBM_GETPOS, 0, 0));
            test::Click(w, IDOK);
        });
    }

    // A process that holds a module under the key the dialogs guard.
    std::wstring HeldModule() {
        const std::wstring path = m_folder / L"Demo(1).ime";
        EXPECT_TRUE(CopyFileW(test::ProgramBeside(L"SrGuardTest.ime").c_str(), path.c_str(), FALSE));
        return path;
    }
};

// Uninstall

TEST_F(UninstallDialogTest, UninstallRunsFromItsButtonWhichThenReadsDoneAndCloses) {
    CCSR_Uninstall dialog;
    Seen seen;
    EXPECT_EQ(RunThrough(dialog, seen), IDOK);
    EXPECT_EQ(seen.title, L"Demo - 卸载程序");
    EXPECT_EQ(seen.captionAtStart, L"卸载(&U)");
    EXPECT_EQ(seen.captionAfter, kDone);
    EXPECT_EQ(seen.lines, (std::vector<std::wstring>{L"开始卸载...", L"  1.卸载输入接口...", L"  2.删除文件系统...",
                                                     L"  4.删除注册表信息...", L"  5.卸载输入法...",
                                                     L"  6.删除快捷方式...", L"  7.卸载完成."}));
    EXPECT_EQ(seen.position, 100);
    EXPECT_EQ(seen.stateAfter, L"") << "nothing writes the current operation";
    EXPECT_FALSE(Exists(m_target));
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, test::kDemoEntry));
    EXPECT_FALSE(Exists(Group()));
}

TEST_F(UninstallDialogTest, CancellingTheHolderQuestionClosesTheDialogAndRemovesNothing) {
    test::Holder holder(HeldModule());
    ASSERT_TRUE(holder.Ready());
    CCSR_Uninstall dialog;
    bool asked = false;
    INT_PTR result = test::RunDriven(dialog, [&](HWND w) {
        HWND status = test::WaitForWindow(GetWindowThreadProcessId(w, nullptr), L"输入法载入状态");
        asked = status != nullptr;
        if (status) test::Click(status, IDCANCEL);
    });
    EXPECT_TRUE(asked);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(Exists(m_target + L"config.exe"));
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, test::kDemoEntry));
    EXPECT_EQ(WaitForSingleObject(holder.Process(), 0), DWORD(WAIT_TIMEOUT)) << "the holder was left alone";
}

TEST_F(UninstallDialogTest, EndingTheHoldersLeavesTheDialogReadyToUninstall) {
    test::Holder holder(HeldModule());
    ASSERT_TRUE(holder.Ready());
    CCSR_Uninstall dialog;
    std::wstring caption;
    test::RunDriven(dialog, [&](HWND w) {
        const DWORD thread = GetWindowThreadProcessId(w, nullptr);
        if (HWND status = test::WaitForWindow(thread, L"输入法载入状态")) Press(status, IDC_END_PROCESSES);
        HWND uninstall = test::WaitForWindow(thread, L"Demo - 卸载程序");
        for (int i = 0; uninstall && i < 500 && test::ItemText(uninstall, IDOK) != L"卸载(&U)"; ++i) Sleep(20);
        caption = uninstall ? test::ItemText(uninstall, IDOK) : L"";
        if (uninstall) PostMessageW(uninstall, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(caption, L"卸载(&U)");
    EXPECT_EQ(WaitForSingleObject(holder.Process(), 20000), WAIT_OBJECT_0) << "the holder was ended";
    EXPECT_TRUE(Exists(m_target + L"config.exe")) << "closed before the button: nothing removed";
}

}  // namespace
