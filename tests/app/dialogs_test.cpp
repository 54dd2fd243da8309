// The dialog of every mode: its title, its first state, and how it closes.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "run/run_context.h"
#include "wizard/repair_dialog.h"
#include "res/resource.h"
#include "tests/harness/run_driven.h"
#include "tests/harness/ui_driver.h"
#include "update/update_dialog.h"
#include "wizard/error_page.h"
#include "wizard/uninstall_dialog.h"
#include "wizard/welcome_page.h"

namespace {

// The records that start-up would have filled.
class ModeDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
        InitCommonControlsEx(&controls);
    }
    RunContext m_run{};
    INSTALLEDPACKAGE& m_package = m_run.installed;
    PACKAGECONFIG& m_config = m_run.package;
};

TEST_F(ModeDialogTest, UninstallShowsTheNameAndClosesFromTheCloseBox) {
    wcscpy(m_package.packageName, L"Abc");
    CCSR_Uninstall dialog(m_run);
    std::wstring title, button;
    int high = -1, pos = -1;
    bool stillOpenAfterButton = false;
    INT_PTR result = test::RunDriven(dialog, [&](HWND w) {
        title = test::TextOf(w);
        button = test::ItemText(w, IDOK);
        high = (int)SendDlgItemMessageW(w, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0);
        pos = (int)SendDlgItemMessageW(w, IDC_PROGRESS, PBM_GETPOS, 0, 0);
        SetDlgItemTextW(w, IDOK, L"其他");  // a caption of no role: the button does nothing
        test::Click(w, IDOK);
        stillOpenAfterButton = IsWindowVisible(w) != 0;
        SendMessageW(w, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(title, L"Abc - 卸载程序");
    EXPECT_EQ(button, L"卸载(&U)");
    EXPECT_EQ(high, 100);
    EXPECT_EQ(pos, 0);
    EXPECT_TRUE(stillOpenAfterButton);
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(ModeDialogTest, UninstallFinishedButtonCloses) {
    wcscpy(m_package.packageName, L"Abc");
    CCSR_Uninstall dialog(m_run);
    INT_PTR result = test::RunDriven(dialog, [&](HWND w) {
        SetDlgItemTextW(w, IDOK, L"完成(&O)");
        test::Click(w, IDOK);
    });
    EXPECT_EQ(result, IDOK);
}

TEST_F(ModeDialogTest, RepairIsShownWithTheNameAndClosesFromTheCloseBox) {
    wcscpy(m_package.packageName, L"Abc");
    CSR_Repair dialog(m_run);
    std::wstring title, button;
    INT_PTR result = test::RunDriven(dialog, [&](HWND w) {
        title = test::TextOf(w);
        button = test::ItemText(w, IDOK);
        SendMessageW(w, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(title, L"Abc - 修复程序");
    EXPECT_EQ(button, L"完成(&O)") << "nothing recorded: no backup to repair from";
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(ModeDialogTest, UpdateShowsTheNameAndExitEndsIt) {
    CSR_AutoUpdateDlg dialog;
    dialog.SetPackageName(L"Abc");
    std::wstring title, retry, exit;
    INT_PTR result = test::RunDriven(dialog, [&](HWND w) {
        title = test::TextOf(w);
        retry = test::ItemText(w, IDOK);
        exit = test::ItemText(w, IDCANCEL);
        test::Click(w, IDCANCEL);
    });
    EXPECT_EQ(title, L"Abc - 更新程序");
    EXPECT_EQ(retry, L"重试更新(&R)");
    EXPECT_EQ(exit, L"退　出(&X)");
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(ModeDialogTest, ErrorPageWithoutAPackageShowsTheWordAloneAndItsButtonCloses) {
    CSR_InstallError dialog(m_run);
    std::wstring title, text;
    INT_PTR result = test::RunDriven(dialog, [&](HWND w) {
        title = test::TextOf(w);
        text = test::ItemText(w, IDOK);
        test::Click(w, IDOK);
    });
    EXPECT_EQ(title, L"输入法安装向导--->错误");
    EXPECT_EQ(text, L"完成(&O)");
    EXPECT_EQ(result, IDOK);
}

TEST_F(ModeDialogTest, ErrorPageClosesFromTheCloseBoxWithoutAQuestion) {
    CSR_InstallError dialog(m_run);
    EXPECT_EQ(test::RunDriven(dialog, [&](HWND w) { PostMessageW(w, WM_CLOSE, 0, 0); }), IDCANCEL);
}

TEST_F(ModeDialogTest, WelcomePageTitleNamesThePackageAndGivesItsIconWhenDragged) {
    wcscpy(m_config.name, L"X");
    CSR_Install_BaseDlg dialog(m_run);
    std::wstring title;
    HICON dragIcon = nullptr;
    test::RunDriven(dialog, [&](HWND w) {
        title = test::TextOf(w);
        dragIcon = reinterpret_cast<HICON>(SendMessageW(w, WM_QUERYDRAGICON, 0, 0));
        EXPECT_TRUE(test::CancelWizard(w));
    });
    EXPECT_EQ(title, L"欢迎使用X输入法安装向导");
    EXPECT_NE(dragIcon, nullptr);
}

TEST(NameMarkerTest, EveryOccurrenceIsReplacedAndATitleWithoutOneIsKept) {
    EXPECT_EQ(ReplaceNameMarker(L"[name]安装向导--->[name]", L"Abc"), L"Abc输入法安装向导--->Abc输入法");
    EXPECT_EQ(ReplaceNameMarker(L"输入法载入状态", L"Abc"), L"输入法载入状态");
    EXPECT_EQ(ReplaceNameMarker(L"[name", L"Abc"), L"[name");
}

}  // namespace
