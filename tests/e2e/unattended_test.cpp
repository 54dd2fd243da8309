// Unattended installs of the sample package: no window, the log, the exit codes.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "tests/e2e/demo_checks.h"
#include "tests/harness/demo_installation.h"
#include "tests/harness/module_holder.h"
#include "tests/harness/process.h"
#include "tests/harness/program_run.h"
#include "tests/harness/ui_driver.h"

namespace {

using test::Completed;
using test::LogLines;
using test::Utf8;

class UnattendedTest : public test::ProgramRunTest {
protected:
    void SetUp() override {
        ProgramRunTest::SetUp();
        CreateDirectoryW((m_folder / L"logs").c_str(), nullptr);
        PlaceDemoSetup(m_setup);
    }
    void TearDown() override { test::RemoveDemoInstallation(); }

    DWORD Run(const std::wstring& arguments, const std::wstring& currentFolder = std::wstring()) {
        return ProgramRunTest::Run(m_setup, arguments, currentFolder);
    }

    const std::wstring m_setup = m_folder / L"DemoSetup.exe";
    const std::wstring m_target = m_folder / L"Program Files\\Demo IME";
    const std::wstring m_log = m_folder / L"logs\\setup log.txt";
};

TEST_F(UnattendedTest, InstallsWithoutAWindowAndLogsEveryLine) {
    // A work folder that someone made beforehand, open to everyone, is made anew for
    // administrators alone.
    const std::wstring work = m_temp + L"__SRIMEInstall";
    CreateDirectoryW(work.c_str(), nullptr);
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &everyone,
                                                                     nullptr));
    ASSERT_TRUE(SetFileSecurityW(work.c_str(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
    ASSERT_NE(test::FileDaclText(work).find(L";WD)"), std::wstring::npos);

    const DWORD code = Run(L"/S \"/D=" + m_target + L"\" /USER=Tester \"/COMPANY=Tester Ltd\" /LOG=\"" + m_log + L"\"");
    ASSERT_TRUE(Completed(code));

    test::ExpectDemoInstalled(m_target, m_setup, L"Tester", L"Tester Ltd");

    std::vector<std::wstring> lines = LogLines(m_log);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines.front(), L"验证安装信息....");
    EXPECT_EQ(lines[2], L"  1.创建文件系统....");
    EXPECT_EQ(lines[12], L"  6.清除安装程序创建的临时文件...");
    EXPECT_EQ(lines.back(), code == 0 ? L"安装程序已经完成所有工作!" : L"安装程序已经完成所有工作,但部分设置在重新启动以后方能生效!");
    EXPECT_EQ(test::FileDaclText(work).find(L";WD)"), std::wstring::npos) << test::FileDaclText(work);
}

// The program runs in the system folder, yet a relative log is where the user started it.
TEST_F(UnattendedTest, ARelativeLogNamesAFileInTheFolderTheInstallerWasStartedIn) {
    const std::wstring started = m_folder / L"logs\\";
    ASSERT_TRUE(Completed(Run(L"/S \"/D=" + m_target + L"\" /LOG=relative.log", started)));
    EXPECT_EQ(LogLines(started + L"relative.log").size(), 14u);
    EXPECT_FALSE(test::Exists(test::SystemFolderOnDisk() + L"\\relative.log"));
}

TEST_F(UnattendedTest, ADamagedPackageOrAMalformedSwitchIsReportedByTheExitCode) {
    EXPECT_EQ(Run(L"/S /D="), 1639u);
    EXPECT_EQ(Run(L"/S \"/D=" + m_target), 1639u);
    // A folder that the installation-folder rule refuses (tabled in run/folders_test.cpp).
    const std::wstring inWindows = test::ShellFolder(CSIDL_WINDOWS) + L"\\SrDemo";
    EXPECT_EQ(Run(L"/S \"/D=" + inWindows + L"\""), 1639u);
    EXPECT_FALSE(test::Exists(inWindows));
    EXPECT_FALSE(test::Exists(m_temp + L"__SRIMEInstall")) << "a malformed run touches nothing";

    // A log that is a second name of a file elsewhere is never written.
    test::WriteBytes(m_folder / L"system.ini", "keep");
    CreateDirectoryW((m_folder / L"logs").c_str(), nullptr);
    ASSERT_TRUE(CreateHardLinkW(m_log.c_str(), (m_folder / L"system.ini").c_str(), nullptr));
    EXPECT_EQ(Run(L"/S \"/D=" + m_target + L"\" /LOG=\"" + m_log + L"\""), 1639u);
    EXPECT_EQ(test::ReadBytes(m_folder / L"system.ini"), "keep");
    EXPECT_FALSE(test::Exists(m_target));
    DeleteFileW(m_log.c_str());

    std::string setup = test::ReadBytes(m_setup);
    test::WriteBytes(m_setup, setup.substr(0, setup.size() - 3000));
    EXPECT_EQ(Run(L"/S \"/D=" + m_target + L"\" /LOG=\"" + m_log + L"\""), 1620u);
    EXPECT_EQ(LogLines(m_log), std::vector<std::wstring>{L"安装程序由于意外而中止进行."});
    EXPECT_FALSE(test::Exists(m_target));
}

// Like the destination page, which proposes the installed folder and locks it.
TEST_F(UnattendedTest, AnInstallWithoutAFolderOverAnInstallationGoesIntoItsFolder) {
    const std::wstring defaultFolder = test::ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Demo";
    ASSERT_FALSE(test::Exists(defaultFolder));
    ASSERT_TRUE(Completed(Run(L"/S \"/D=" + m_target + L"\"")));
    ASSERT_TRUE(DeleteFileW((m_target + L"\\config.exe").c_str()));

    EXPECT_TRUE(Completed(Run(L"/S /USER=Again /COMPANY=AgainLtd")));
    EXPECT_FALSE(test::Exists(defaultFolder)) << "a second copy in the default folder";
    test::ExpectDemoInstalled(m_target, m_setup, L"Again", L"AgainLtd");
    test::RemoveTree(defaultFolder);
}

TEST_F(UnattendedTest, ASecondInstallerIsKeptOutWhileOneRuns) {
    HWND welcome = OpenWindow(m_setup, L"", L"欢迎使用Demo输入法安装向导");
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

    EXPECT_EQ(EndWindow(welcome, [](HWND w) { EXPECT_TRUE(test::CancelWizard(w)); }), 0u);
}

TEST_F(UnattendedTest, AProcessHoldingTheModuleStopsTheInstallUnlessItIsToBeClosed) {
    const std::wstring module = m_folder / L"Demo(1).ime";
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrGuardTest.ime").c_str(), module.c_str(), FALSE));
    test::Holder holder(module);
    ASSERT_TRUE(holder.Ready());

    EXPECT_EQ(Run(L"/S \"/D=" + m_target + L"\" /LOG=\"" + m_log + L"\""), 32u);
    std::vector<std::wstring> lines = LogLines(m_log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(L"SrModuleHolder.exe"), std::wstring::npos) << Utf8(lines[0]);
    EXPECT_NE(lines[0].find(std::to_wstring(holder.Id())), std::wstring::npos) << Utf8(lines[0]);
    EXPECT_FALSE(test::Exists(m_target)) << "nothing is installed";
    EXPECT_EQ(WaitForSingleObject(holder.Process(), 0), DWORD(WAIT_TIMEOUT)) << "the holder runs on";

    EXPECT_TRUE(Completed(Run(L"/S /FORCECLOSE \"/D=" + m_target + L"\"")));
    // Ended with the exit code it had, STILL_ACTIVE, so its end shows only in the handle.
    EXPECT_EQ(WaitForSingleObject(holder.Process(), 5000), WAIT_OBJECT_0) << "the holder was ended";
    EXPECT_TRUE(test::Exists(m_target + L"\\config.exe"));
}

}  // namespace
