// A complete install of the sample package through the wizard, page by page, as a user
// clicks through it: welcome, licence, destination, progress and finish.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "res/resource.h"
#include "tests/e2e/demo_checks.h"
#include "tests/harness/demo_installation.h"
#include "tests/harness/process.h"
#include "tests/harness/program_run.h"
#include "tests/harness/ui_driver.h"

namespace {

void Type(HWND page, int id, const std::wstring& text) { SetDlgItemTextW(page, id, text.c_str()); }

class WizardInstallTest : public test::ProgramRunTest {
protected:
    void SetUp() override {
        ProgramRunTest::SetUp();
        CreateDirectoryW((m_folder / L"Program Files").c_str(), nullptr);
        PlaceDemoSetup(m_setup);
    }
    void TearDown() override {
        // A wizard left open by a failed step would keep every later installer out.
        if (m_copy.Valid() && WaitForSingleObject(m_copy.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_copy.Get(), 1);
            WaitForSingleObject(m_copy.Get(), 5000);
        }
        test::RemoveDemoInstallation();
    }

    const std::wstring m_setup = m_folder / L"DemoSetup.exe";
    const std::wstring m_target = m_folder / L"Program Files\\Demo IME";
    fw::UniqueHandle m_copy;  // the working copy that runs the wizard
};

TEST_F(WizardInstallTest, EveryPageFromWelcomeToFinishInstallsThePackage) {
    HWND welcome = OpenWindow(m_setup, L"", L"欢迎使用Demo输入法安装向导");
    ASSERT_TRUE(welcome);
    m_copy = test::ProcessOfWindow(welcome);
    const DWORD thread = GetWindowThreadProcessId(welcome, nullptr);
    Type(welcome, IDC_USER_NAME, L"向导用户");
    Type(welcome, IDC_COMPANY_NAME, L"Wizard Works");
    test::Press(welcome, IDOK);

    HWND licence = test::WaitForWindow(thread, L"Demo输入法安装向导--->许可协议");
    ASSERT_TRUE(licence);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(licence, IDOK))) << "declined until accepted";
    test::Click(licence, IDC_ACCEPT);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(licence, IDOK)));
    test::Press(licence, IDOK);

    HWND destination = test::WaitForWindow(thread, L"Demo输入法安装向导--->选择安装位置");
    ASSERT_TRUE(destination);
    Type(destination, IDC_DESTINATION, m_target + L"\\");
    test::Press(destination, IDOK);

    HWND progress = test::WaitForWindow(thread, L"Demo输入法安装向导--->开始安装");
    ASSERT_TRUE(progress);
    EXPECT_EQ(test::ItemText(progress, IDOK), L"开始安装(&S)");
    test::Press(progress, IDOK);

    // The install runs inside the click; the finish page follows it.
    HWND finish = test::WaitForWindow(thread, L"Demo输入法安装向导--->完成安装", 60000);
    ASSERT_TRUE(finish);
    const std::vector<std::wstring> lines = test::ListLines(progress, IDC_DETAILS);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines.front(), L"验证安装信息....");
    EXPECT_EQ(lines.back().substr(0, 12), L"安装程序已经完成所有工作");
    EXPECT_EQ(SendDlgItemMessageW(progress, IDC_PROGRESS, PBM_GETPOS, 0, 0), 100);

    test::ExpectDemoInstalled(m_target, m_setup, L"向导用户", L"Wizard Works");

    test::Press(finish, IDOK);
    EXPECT_EQ(test::WaitForExit(m_copy.Get()), 0u);
    EXPECT_EQ(test::Entries(m_work), std::vector<std::wstring>{L"___temp.exe"}) << "the work folder is emptied but for the copy";
}

}  // namespace
