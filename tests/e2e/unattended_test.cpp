// Unattended installs of the sample package: no window, the log, the exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/e2e/demo_checks.h"
#include "tests/harness/demo_installation.h"
#include "tests/harness/installed_demo.h"
#include "tests/harness/module_holder.h"
#include "tests/harness/process.h"
#include "tests/harness/test_folder.h"
#include "tests/harness/ui_driver.h"

namespace {

// The log's lines without their time stamps ("YYYY-MM-DD hh:mm:ss.mmm  ").
std::vector<std::string> LogLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::istringstream in(test::ReadBytes(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line.size() > 25 ? line.substr(25) : line);
    }
    return lines;
}

using test::Utf8;

class UnattendedTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryW(m_temp.c_str(), nullptr);
        CreateDirectoryW((m_folder / L"logs").c_str(), nullptr);
        test::WriteBytes(m_setup, test::ReadBytes(test::ProgramBeside(L"DemoSetup.exe")));
    }
    void TearDown() override { test::RemoveDemoInstallation(); }

    DWORD Run(const std::wstring& arguments, DWORD timeoutMs = 60000) {
        fw::UniqueHandle first = test::StartWithTemp(m_setup, arguments, m_temp);
        return test::WaitForExit(first.Get(), timeoutMs);
    }

    test::TestFolder m_folder;
    const std::wstring m_temp = m_folder / L"tmp\\";
    const std::wstring m_setup = m_folder / L"DemoSetup.exe";
    const std::wstring m_target = m_folder / L"Program Files\\Demo IME";
    const std::wstring m_log = m_folder / L"logs\\setup log.txt";
};

TEST_F(UnattendedTest, InstallsWithoutAWindowAndLogsEveryLine) {
    const DWORD code = Run(L"/S \"/D=" + m_target + L"\" /USER=Tester \"/COMPANY=Tester Ltd\" /LOG=\"" + m_log + L"\"");
    ASSERT_TRUE(code == 0 || code == 3010) << code;

    test::ExpectDemoInstalled(m_target, m_setup, L"Tester", L"Tester Ltd");

    std::vector<std::string> lines = LogLines(m_log);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines.front(), Utf8(L"验证安装信息...."));
    EXPECT_EQ(lines[2], Utf8(L"  1.创建文件系统...."));
    EXPECT_EQ(lines[12], Utf8(L"  6.清除安装程序创建的临时文件..."));
    EXPECT_EQ(lines.back(), Utf8(code == 0 ? L"安装程序已经完成所有工作!"
                                           : L"安装程序已经完成所有工作,但部分设置在重新启动以后方能生效!"));
}

// The program runs in the system folder, yet a relative log is where the user started it.
TEST_F(UnattendedTest, ARelativeLogNamesAFileInTheFolderTheInstallerWasStartedIn) {
    const std::wstring started = m_folder / L"logs\\";
    fw::UniqueHandle first = test::StartWithTemp(m_setup, L"/S \"/D=" + m_target + L"\" /LOG=relative.log", m_temp, started);
    const DWORD code = test::WaitForExit(first.Get(), 60000);
    ASSERT_TRUE(code == 0 || code == 3010) << code;
    EXPECT_EQ(LogLines(started + L"relative.log").size(), 14u);
    EXPECT_FALSE(test::Exists(test::SystemFolderOnDisk() + L"\\relative.log"));
}

TEST_F(UnattendedTest, ADamagedPackageOrAMalformedSwitchIsReportedByTheExitCode) {
    EXPECT_EQ(Run(L"/S /D="), 1639u);
    EXPECT_EQ(Run(L"/S \"/D=" + m_target), 1639u);
    // A folder that the destination page refuses: relative, drive-less, or in the Windows folder.
    const std::wstring windows = test::ShellFolder(CSIDL_WINDOWS);
    for (const std::wstring& folder : {std::wstring(L"abc"), std::wstring(L"C:SrDriveLess"), windows + L"\\SrDemo"}) {
        EXPECT_EQ(Run(L"/S \"/D=" + folder + L"\""), 1639u) << Utf8(folder);
    }
    EXPECT_FALSE(test::Exists(windows + L"\\SrDemo"));
    EXPECT_FALSE(test::Exists(m_temp + L"__SRIMEInstall")) << "a malformed run touches nothing";

    std::string setup = test::ReadBytes(m_setup);
    test::WriteBytes(m_setup, setup.substr(0, setup.size() - 3000));
    EXPECT_EQ(Run(L"/S \"/D=" + m_target + L"\" /LOG=\"" + m_log + L"\""), 1620u);
    EXPECT_EQ(LogLines(m_log), std::vector<std::string>{Utf8(L"安装程序由于意外而中止进行.")});
    EXPECT_FALSE(test::Exists(m_target));
}

// Like the destination page, which proposes the installed folder and locks it.
TEST_F(UnattendedTest, AnInstallWithoutAFolderOverAnInstallationGoesIntoItsFolder) {
    const std::wstring defaultFolder = test::ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Demo";
    ASSERT_FALSE(test::Exists(defaultFolder));
    DWORD code = Run(L"/S \"/D=" + m_target + L"\"");
    ASSERT_TRUE(code == 0 || code == 3010) << code;
    ASSERT_TRUE(DeleteFileW((m_target + L"\\config.exe").c_str()));

    code = Run(L"/S /USER=Again /COMPANY=AgainLtd");
    EXPECT_TRUE(code == 0 || code == 3010) << code;
    EXPECT_FALSE(test::Exists(defaultFolder)) << "a second copy in the default folder";
    test::ExpectDemoInstalled(m_target, m_setup, L"Again", L"AgainLtd");
    test::RemoveTree(defaultFolder);
}

TEST_F(UnattendedTest, ASecondInstallerIsKeptOutWhileOneRuns) {
    fw::UniqueHandle first = test::StartWithTemp(m_setup, L"", m_temp);
    HWND welcome = test::WaitForWindow(0, L"欢迎使用Demo输入法安装向导");
    ASSERT_TRUE(welcome);
    EXPECT_EQ(Run(L"/S \"/D=" + m_target + L"\""), 1618u);
    EXPECT_FALSE(test::Exists(m_target));

    // Interactive, the second one says so and ends.
    fw::UniqueHandle second = test::StartWithTemp(m_setup, L"", m_temp);
    HWND box = test::WaitForWindow(0, L"初始化错误");
    ASSERT_TRUE(box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(test::WaitForExit(second.Get()), 0u);
    EXPECT_TRUE(IsWindow(welcome)) << "the first one runs on";

    fw::UniqueHandle copy = test::ProcessOfWindow(welcome);
    EXPECT_TRUE(test::CancelWizard(welcome));
    EXPECT_EQ(test::WaitForExit(copy.Get()), 0u);
}

TEST_F(UnattendedTest, AProcessHoldingTheModuleStopsTheInstallUnlessItIsToBeClosed) {
    const std::wstring module = m_folder / L"Demo(1).ime";
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrGuardTest.ime").c_str(), module.c_str(), FALSE));
    test::Holder holder(module);
    ASSERT_TRUE(holder.Ready());

    EXPECT_EQ(Run(L"/S \"/D=" + m_target + L"\" /LOG=\"" + m_log + L"\""), 32u);
    std::vector<std::string> lines = LogLines(m_log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("SrModuleHolder.exe"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(std::to_string(holder.Id())), std::string::npos) << lines[0];
    EXPECT_FALSE(test::Exists(m_target)) << "nothing is installed";
    EXPECT_EQ(WaitForSingleObject(holder.Process(), 0), DWORD(WAIT_TIMEOUT)) << "the holder runs on";

    const DWORD code = Run(L"/S /FORCECLOSE \"/D=" + m_target + L"\"");
    EXPECT_TRUE(code == 0 || code == 3010) << code;
    // Ended with the exit code it had, STILL_ACTIVE, so its end shows only in the handle.
    EXPECT_EQ(WaitForSingleObject(holder.Process(), 5000), WAIT_OBJECT_0) << "the holder was ended";
    EXPECT_TRUE(test::Exists(m_target + L"\\config.exe"));
}

}  // namespace
