// The uninstall and repair dialogs over an installed sample package, driven as a user
// would: the process guard first, then the button that runs, then the button that closes.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "install/install_defaults.h"
#include "wizard/repair_dialog.h"
#include "res/resource.h"
#include "tests/harness/installed_demo.h"
#include "tests/harness/module_holder.h"
#include "tests/harness/run_driven.h"
#include "tests/harness/ui_driver.h"
#include "wizard/uninstall_dialog.h"

namespace {

using test::Exists;

constexpr wchar_t kDone[] = L"完成(&O)";
constexpr wchar_t kNoBackup[] = L"安装数据文件不存在或者已经损坏,修复程序无法运行.";
constexpr wchar_t kRepairReady[] = L"您可以单击\"修复(&R)\"按钮,以修复已经安装过的输入法.";
constexpr wchar_t kRepaired[] = L"修复操作完毕，单击\"完成(&R)\"按钮退出";

// A click whose handler runs long: posted, so the driver can watch for its end.
void Press(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Polls until the button reads `caption`; false when it never does.
bool WaitForCaption(HWND dialog, const wchar_t* caption) {
    for (int i = 0; i < 3000; ++i, Sleep(20)) {
        if (test::ItemText(dialog, IDOK) == caption) return true;
    }
    return false;
}

using test::Utf8;

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
    CCSR_Uninstall dialog(m_run);
    Seen seen;
    EXPECT_EQ(RunThrough(dialog, seen), IDOK);
    EXPECT_EQ(seen.title, L"Demo - 卸载程序");
    EXPECT_EQ(seen.captionAtStart, L"卸载(&U)");
    EXPECT_EQ(seen.captionAfter, kDone);
    EXPECT_EQ(seen.lines, test::kSevenLines);
    EXPECT_EQ(seen.position, 100);
    EXPECT_EQ(seen.stateAfter, L"") << "nothing writes the current operation";
    EXPECT_FALSE(Exists(m_target));
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, test::kDemoEntry));
    EXPECT_FALSE(Exists(Group()));
}

TEST_F(UninstallDialogTest, CancellingTheHolderQuestionClosesTheDialogAndRemovesNothing) {
    test::Holder holder(HeldModule());
    ASSERT_TRUE(holder.Ready());
    CCSR_Uninstall dialog(m_run);
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
    CCSR_Uninstall dialog(m_run);
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

// Repair

TEST_F(UninstallDialogTest, RepairBringsBackDeletedFilesAndShortcutsWithTheRecordedNames) {
    for (const wchar_t* name : {L"config.exe", L"License.html"}) ASSERT_TRUE(DeleteFileW((m_target + name).c_str()));
    test::RemoveTree(Group());
    ASSERT_TRUE(DeleteFileW(DesktopLink().c_str()));
    // A name changed since the install, and a company name that was never recorded.
    test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"RegOwner", L"新用户");
    test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"RegCompany", nullptr);
    test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"DisplayVersion", L"0.0");
    wchar_t owner[kRegisteredNameChars] = {}, organisation[kRegisteredNameChars] = {};
    ReadRegisteredNames(owner, organisation);

    CSR_Repair dialog(m_run);
    Seen seen;
    EXPECT_EQ(RunThrough(dialog, seen), IDOK);
    EXPECT_EQ(seen.title, L"Demo - 修复程序");
    EXPECT_EQ(seen.captionAtStart, L"修复(&R)");
    EXPECT_EQ(seen.stateAtStart, kRepairReady);
    EXPECT_EQ(seen.stateAfter, kRepaired);
    ASSERT_FALSE(seen.lines.empty());
    EXPECT_EQ(seen.lines.front(), L"验证安装信息....");
    EXPECT_EQ(seen.lines.back(), L"安装程序已经完成所有工作!") << "the backup is not replaced by itself";
    EXPECT_EQ(seen.position, 100);

    for (const wchar_t* name : {L"config.exe", L"License.html", L"unstall.exe"}) {
        EXPECT_TRUE(Exists(m_target + name)) << Utf8(name);
    }
    for (const wchar_t* link : test::kDemoLinks) EXPECT_TRUE(Exists(Group() + link)) << Utf8(link);
    EXPECT_TRUE(Exists(DesktopLink()));
    EXPECT_EQ(test::ReadBytes(m_target + L"_backup_.dat"), m_payload);
    EXPECT_EQ(test::TakePendingRename(m_target + L"_backup_.dat"), L"(no entry)");
    EXPECT_EQ(test::RegText(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"RegOwner"), L"新用户");
    EXPECT_EQ(test::RegText(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"RegCompany"), organisation);
    EXPECT_EQ(test::RegText(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"DisplayVersion"), L"1.0.0.1") << "rewritten";
    EXPECT_TRUE(FindImeLayout(L"Demo(1).ime"));
    EXPECT_FALSE(Exists(m_target + L"InstallInfo.dif"));
}

TEST_F(UninstallDialogTest, RepairWithoutABackupOffersOnlyDone) {
    ASSERT_TRUE(DeleteFileW((m_target + L"_backup_.dat").c_str()));
    ASSERT_TRUE(DeleteFileW((m_target + L"config.exe").c_str()));
    CSR_Repair dialog(m_run);
    Seen seen;
    EXPECT_EQ(RunThrough(dialog, seen), IDOK);
    EXPECT_EQ(seen.captionAtStart, kDone);
    EXPECT_EQ(seen.stateAtStart, kNoBackup);
    EXPECT_TRUE(seen.lines.empty());
    EXPECT_FALSE(Exists(m_target + L"config.exe"));
}

TEST_F(UninstallDialogTest, RepairFromADamagedBackupEndsSilentlyWithTheFinalText) {
    test::WriteBytes(m_target + L"_backup_.dat", m_payload.substr(0, m_payload.size() / 2));
    ASSERT_TRUE(DeleteFileW((m_target + L"config.exe").c_str()));
    CSR_Repair dialog(m_run);
    Seen seen;
    EXPECT_EQ(RunThrough(dialog, seen), IDOK);
    EXPECT_EQ(seen.captionAtStart, L"修复(&R)");
    EXPECT_EQ(seen.captionAfter, kDone);
    EXPECT_EQ(seen.stateAfter, kRepaired);
    EXPECT_TRUE(seen.lines.empty());
    EXPECT_FALSE(Exists(m_target + L"config.exe"));
}

TEST_F(UninstallDialogTest, RepairClosedBeforeItsButtonRepairsNothing) {
    ASSERT_TRUE(DeleteFileW((m_target + L"config.exe").c_str()));
    CSR_Repair dialog(m_run);
    EXPECT_EQ(test::RunDriven(dialog, [](HWND w) { PostMessageW(w, WM_COMMAND, IDCANCEL, 0); }), IDCANCEL);
    EXPECT_FALSE(Exists(m_target + L"config.exe"));
}

}  // namespace
