// The progress and finish pages over the sample package: the guard on the module, the install
// run from the action button, the failed state, the finish page and Back.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "run/run_state.h"
#include "payload/cabinet.h"
#include "payload/payload_key.h"
#include "payload/records.h"
#include "res/resource.h"
#include "support/bounded_text.h"
#include "tests/harness/demo_installation.h"
#include "tests/harness/module_holder.h"
#include "tests/harness/run_driven.h"
#include "tests/harness/test_folder.h"
#include "tests/harness/ui_driver.h"
#include "wizard/finish_page.h"
#include "wizard/progress_page.h"
#include "run/wizard_state.h"

namespace {

constexpr wchar_t kPageTitle[] = L"Demo输入法安装向导--->开始安装";
constexpr wchar_t kFinishTitle[] = L"Demo输入法安装向导--->完成安装";
constexpr wchar_t kStart[] = L"开始安装(&S)";
constexpr int kMessageBoxText = 0xFFFF;  // the static that holds a message box's text

// Polls until `done` holds; false when it never does.
bool WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 1000; ++i, Sleep(20)) {
        if (done()) return true;
    }
    return false;
}

DWORD ThreadOf(HWND window) { return GetWindowThreadProcessId(window, nullptr); }

std::vector<std::wstring> Lines(HWND dialog) { return test::ListLines(dialog, IDC_DETAILS); }

// Whether any of the three buttons was enabled when a line of the run was added.
bool g_buttonEnabledDuringRun = false;
int g_linesDuringRun = 0;
WNDPROC g_listProc = nullptr;

LRESULT CALLBACK WatchButtons(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == LB_ADDSTRING) {
        HWND page = GetParent(hwnd);
        ++g_linesDuringRun;
        for (int id : {IDOK, IDCANCEL, IDC_BACK}) g_buttonEnabledDuringRun |= IsWindowEnabled(GetDlgItem(page, id)) != 0;
    }
    return CallWindowProcW(g_listProc, hwnd, msg, wp, lp);
}

void WatchButtonsDuringRun(HWND page) {
    g_buttonEnabledDuringRun = false;
    g_linesDuringRun = 0;
    g_listProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(GetDlgItem(page, IDC_DETAILS), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchButtons)));
}

// The sample package unpacked into a work folder of the test's own, as start-up leaves it,
// and the wizard state that the earlier pages would have left.
class ProgressPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        ASSERT_TRUE(test::UnpackSamplePackage(m_folder / L"work\\", m_state, m_config));
        ASSERT_STREQ(m_config.name, L"Demo");

        m_destination = m_folder / L"Demo IME\\";
        CopyCut(m_run.wizard.destination, m_destination.c_str());
        CopyCut(m_run.wizard.userName, L"用户");
        CopyCut(m_run.wizard.companyName, L"公司");
    }

    void TearDown() override {
        test::RemoveDemoInstallation();
    }

    // A module under the key the page guards, for a holder to load.
    std::wstring HeldModule() {
        const std::wstring path = m_folder / L"Demo(1).ime";
        EXPECT_TRUE(CopyFileW(test::ProgramBeside(L"SrGuardTest.ime").c_str(), path.c_str(), FALSE));
        return path;
    }

    test::TestFolder m_folder;
    RunContext m_run{};
    RUNSTATE& m_state = m_run.state;
    PACKAGECONFIG& m_config = m_run.package;
    std::wstring m_destination;
};

// The guard on the module

TEST_F(ProgressPageTest, CancellingTheLoadStatusDialogIsRefusedAndThePageStaysReady) {
    test::Holder holder(HeldModule());
    ASSERT_TRUE(holder.Ready());

    CSR_Install_Begain page(m_run);
    std::wstring title, captionBefore, captionAfter, refusal;
    int statusLines = -1, pageLines = -1;
    bool refusalOwnedByPage = false, allEnabled = false, backShown = false;
    DWORD listStyle = 0;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        title = test::TextOf(w);
        captionBefore = test::ItemText(w, IDOK);
        listStyle = static_cast<DWORD>(GetWindowLongPtrW(GetDlgItem(w, IDC_DETAILS), GWL_STYLE));
        test::Press(w, IDOK);
        if (HWND status = test::WaitForWindow(ThreadOf(w), L"输入法载入状态")) {
            statusLines = static_cast<int>(SendDlgItemMessageW(status, IDC_HOLDER_LINES, LB_GETCOUNT, 0, 0));
            test::Click(status, IDCANCEL);
        }
        if (HWND box = test::WaitForWindow(ThreadOf(w), L"无法执行的操作")) {
            refusal = test::ItemText(box, kMessageBoxText);
            refusalOwnedByPage = GetWindow(box, GW_OWNER) == w;
            test::Click(box, IDOK);
            test::WaitUntilGone(box);
        }
        captionAfter = test::ItemText(w, IDOK);
        allEnabled = IsWindowEnabled(GetDlgItem(w, IDOK)) && IsWindowEnabled(GetDlgItem(w, IDCANCEL)) &&
                     IsWindowEnabled(GetDlgItem(w, IDC_BACK));
        backShown = IsWindowVisible(GetDlgItem(w, IDC_BACK)) != 0;
        pageLines = static_cast<int>(Lines(w).size());
        test::CancelWizard(w);
    });
    EXPECT_EQ(title, kPageTitle);
    EXPECT_EQ(captionBefore, kStart);
    EXPECT_FALSE(listStyle & LBS_SORT) << "the install's lines keep their order";
    EXPECT_EQ(statusLines, 1);
    EXPECT_EQ(refusal,
              L"由于您的计算机中存在一个当前输入法的副本，所以您必须结束已加载当前输入法的所有进程，然后执行安装操作。");
    EXPECT_TRUE(refusalOwnedByPage);
    EXPECT_EQ(captionAfter, kStart);
    EXPECT_TRUE(allEnabled && backShown);
    EXPECT_EQ(pageLines, 0) << "nothing ran";
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(WaitForSingleObject(holder.Process(), 0), WAIT_TIMEOUT) << "the holder was left alone";
    EXPECT_FALSE(test::Exists(m_destination));
}

TEST_F(ProgressPageTest, EndingTheHoldersInstallsAtOnceAndTheFinishPageClosesTheWizard) {
    test::Holder holder(HeldModule());
    ASSERT_TRUE(holder.Ready());

    CSR_Install_Begain page(m_run);
    std::wstring finishText, finishButton;
    bool finishShown = false, pageHidden = false;
    std::vector<std::wstring> lines;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        WatchButtonsDuringRun(w);
        test::Press(w, IDOK);
        if (HWND status = test::WaitForWindow(ThreadOf(w), L"输入法载入状态")) test::Click(status, IDC_END_PROCESSES);
        HWND finish = test::WaitForWindow(ThreadOf(w), kFinishTitle);
        if (!finish) {
            test::CancelWizard(w);
            return;
        }
        finishShown = true;
        pageHidden = !IsWindowVisible(w);
        lines = Lines(w);
        finishText = test::TextOf(FindWindowExW(finish, GetDlgItem(finish, IDC_BANNER), L"Static", nullptr));
        finishButton = test::ItemText(finish, IDOK);
        test::Click(finish, IDOK);
        test::WaitUntilGone(finish);
    });
    ASSERT_TRUE(finishShown);
    EXPECT_TRUE(pageHidden);
    EXPECT_EQ(finishText, L"感谢使用！\r\n\r\n至此，所有安装过程已运行完毕！");
    EXPECT_EQ(finishButton, L"确定(&O)");
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(WaitForSingleObject(holder.Process(), 20000), WAIT_OBJECT_0) << "the holder was ended";

    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), L"验证安装信息....");
    EXPECT_EQ(g_linesDuringRun, static_cast<int>(lines.size()));
    EXPECT_FALSE(g_buttonEnabledDuringRun);
    for (const wchar_t* name : {L"config.exe", L"unstall.exe", L"_backup_.dat"}) {
        EXPECT_TRUE(test::Exists(m_destination + name)) << std::filesystem::path(name).string();
    }
}

// The failed state

TEST_F(ProgressPageTest, AFailedInstallLeavesOnlyItsButtonAndThatClosesTheWizard) {
    ASSERT_TRUE(DeleteFileW((std::wstring(m_state.payloadFolder) + L"Demo.ime").c_str()));

    CSR_Install_Begain page(m_run);
    std::vector<std::wstring> lines;
    bool failed = false, backShown = true, cancelShown = true, actionEnabled = false, finishShown = true;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        WatchButtonsDuringRun(w);
        test::Press(w, IDOK);
        failed = WaitUntil([&] { return test::ItemText(w, IDOK) == L"确定(&O"; });
        if (!failed) {
            test::CancelWizard(w);
            return;
        }
        backShown = IsWindowVisible(GetDlgItem(w, IDC_BACK)) != 0;
        cancelShown = IsWindowVisible(GetDlgItem(w, IDCANCEL)) != 0;
        actionEnabled = IsWindowEnabled(GetDlgItem(w, IDOK)) != 0;
        lines = Lines(w);
        finishShown = test::WaitForWindow(ThreadOf(w), kFinishTitle, 0) != nullptr;
        test::Click(w, IDOK);
    });
    ASSERT_TRUE(failed);
    EXPECT_FALSE(backShown);
    EXPECT_FALSE(cancelShown);
    EXPECT_TRUE(actionEnabled);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), L"安装程序发生错误，所做操作已经撤销!");
    EXPECT_FALSE(g_buttonEnabledDuringRun);
    EXPECT_FALSE(finishShown);
    EXPECT_EQ(result, IDOK);
}

// Leaving the page

TEST_F(ProgressPageTest, BackOpensTheDestinationPageInItsPlace) {
    CSR_Install_Begain page(m_run);
    bool destinationShown = false, pageHidden = false;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        test::Press(w, IDC_BACK);
        HWND destination = test::WaitForWindow(ThreadOf(w), L"Demo输入法安装向导--->选择安装位置");
        if (!destination) {
            test::CancelWizard(w);
            return;
        }
        destinationShown = true;
        pageHidden = !IsWindowVisible(w);
        test::CancelWizard(destination);
        test::WaitUntilGone(destination);
    });
    EXPECT_TRUE(destinationShown);
    EXPECT_TRUE(pageHidden);
    EXPECT_EQ(result, IDOK) << "the page ended by handing over";
}

TEST_F(ProgressPageTest, TheFinishPageClosesWithoutTheCancelQuestion) {
    CSR_Install_OK finish(m_run);
    bool asked = true;
    INT_PTR result = test::RunDriven(finish, [&](HWND w) {
        PostMessageW(w, WM_CLOSE, 0, 0);
        HWND question = nullptr;
        WaitUntil([&] { return !IsWindow(w) || (question = test::WaitForWindow(ThreadOf(w), L"用户中止操作", 0)) != nullptr; });
        asked = question != nullptr;
        if (asked) test::Click(question, IDYES);
    });
    EXPECT_FALSE(asked);
    EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
