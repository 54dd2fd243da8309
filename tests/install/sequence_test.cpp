// The install sequence over the sample package: its lines and progress positions in an
// owner dialog, what it leaves on the disk and in the registry, and a failing step.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "run/folders.h"
#include "install/install_sequence.h"
#include "install/install_steps.h"
#include "payload/cabinet.h"
#include "payload/payload_key.h"
#include "payload/records.h"
#include "tests/harness/demo_installation.h"
#include "tests/harness/test_folder.h"
#include "tests/harness/ui_driver.h"
#include "wizard/dialog_progress.h"

namespace {

// Every position the bar is given, with the number of lines the list held at that moment.
std::vector<std::pair<int, int>> g_positions;
WNDPROC g_progressProc = nullptr;

LRESULT CALLBACK RecordPositions(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == PBM_SETPOS) {
        HWND list = GetDlgItem(GetParent(hwnd), 1006);
        g_positions.emplace_back(static_cast<int>(wp), static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)));
    }
    return CallWindowProcW(g_progressProc, hwnd, msg, wp, lp);
}

INT_PTR CALLBACK OwnerProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

std::vector<std::wstring> Lines(HWND owner) { return test::ListLines(owner, 1006); }

// The sample package unpacked into a work folder of the test's own, as start-up leaves it.
class SequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        wcscpy(m_state.commandLine, L" file=C:\\Downloads\\DemoSetup.exe");
        ASSERT_TRUE(test::UnpackSamplePackage(m_folder / L"work\\", m_state, m_config, &m_payload));
        g_positions.clear();
    }

    void TearDown() override {
        test::RemoveDemoInstallation();
    }

    HWND Owner(int templateId) {
        HWND owner = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), nullptr, OwnerProc, 0);
        if (HWND bar = GetDlgItem(owner, 1008)) {
            g_progressProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordPositions)));
        }
        return owner;
    }

    test::TestFolder m_folder;
    RUNSTATE m_state{};
    PACKAGECONFIG m_config{};
    std::string m_payload;
};

TEST_F(SequenceTest, ASuccessfulRunReportsEveryStepWithItsPosition) {
    HWND owner = Owner(900);
    DialogProgress progress(owner);
    InstallContext context(m_state, &progress, true);
    context.package = &m_config;
    const std::wstring folder = m_folder / L"Demo IME";  // without its backslash
    ASSERT_EQ(RunInstall(context, folder.c_str(), L"用户", L""), 1);

    const std::vector<std::wstring> expected = {
        L"验证安装信息....", L"开始安装....", L"  1.创建文件系统....", L"    安装1.完成", L"  2.设置软件运行环境...",
        L"    安装2.完成", L"  3.写入卸载信息...", L"    安装3.完成", L"  4.备份安装数据...", L"    安装4.完成",
        L"  5.创建开始菜单及桌面快捷方式...", L"    安装5.完成", L"  6.清除安装程序创建的临时文件...",
        context.restartNeeded ? L"安装程序已经完成所有工作,但部分设置在重新启动以后方能生效!" : L"安装程序已经完成所有工作!"};
    EXPECT_EQ(Lines(owner), expected);
    // Each position is set just before its line is added.
    const std::vector<std::pair<int, int>> positions = {{0, 0},  {1, 1},   {2, 2},   {40, 3},  {42, 4},  {50, 5},
                                                        {72, 6}, {80, 7},  {82, 8},  {90, 9},  {90, 11}, {95, 12},
                                                        {100, 13}};
    EXPECT_EQ(g_positions, positions);
    EXPECT_EQ(SendDlgItemMessageW(owner, 1006, LB_GETCURSEL, 0, 0), 13) << "the last line is selected";
    EXPECT_EQ(SendDlgItemMessageW(owner, 1008, PBM_GETPOS, 0, 0), 100);
    EXPECT_STREQ(context.installFolder, (folder + L"\\").c_str());

    // The installation folder holds the package, the uninstaller and the backup, but no
    // loose record; the work folder is emptied.
    for (const wchar_t* name : {L"config.exe", L"License.html", L"unstall.exe", L"_backup_.dat"}) {
        EXPECT_TRUE(test::Exists(folder + L"\\" + name)) << std::filesystem::path(name).string();
    }
    EXPECT_FALSE(test::Exists(folder + L"\\InstallInfo.dif"));
    EXPECT_FALSE(test::Exists(folder + L"\\Demo.ime")) << "moved into the system folder";
    EXPECT_EQ(test::ReadBytes(folder + L"\\_backup_.dat"), m_payload);
    EXPECT_FALSE(test::Exists(m_state.payloadFolder));
    DestroyWindow(owner);
}

TEST_F(SequenceTest, AFailingRegistrationStopsAtStepTwoAndTheBarStaysAt42) {
    ASSERT_TRUE(DeleteFileW((std::wstring(m_state.payloadFolder) + L"Demo.ime").c_str()));
    HWND owner = Owner(900);
    DialogProgress progress(owner);
    InstallContext context(m_state, &progress, true);
    context.package = &m_config;
    const std::wstring folder = m_folder / L"Demo IME\\";
    EXPECT_EQ(RunInstall(context, folder.c_str(), L"", L""), 0);
    std::vector<std::wstring> lines = Lines(owner);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], L"  2.设置软件运行环境...");
    EXPECT_EQ(lines[lines.size() - 2], L"复制IME文件到系统目录发生错误，复制文件路径：" + folder + L"Demo.ime");
    EXPECT_EQ(lines.back(), L"安装程序发生错误，所做操作已经撤销!");
    EXPECT_EQ(SendDlgItemMessageW(owner, 1008, PBM_GETPOS, 0, 0), 42);
    EXPECT_FALSE(test::Exists(m_state.payloadFolder)) << "the temporary files go on failure too";
    DestroyWindow(owner);
}

TEST_F(SequenceTest, AnOwnerWithoutAProgressBarGetsTheLinesAlone) {
    HWND owner = Owner(901);
    DialogProgress progress(owner);
    InstallContext context(m_state, &progress, true);
    context.package = &m_config;
    ASSERT_EQ(GetDlgItem(owner, 1008), nullptr);
    ASSERT_EQ(RunInstall(context, (m_folder / L"Demo IME").c_str(), L"", L""), 1);
    EXPECT_EQ(Lines(owner).size(), 14u);
    EXPECT_EQ(context.position, 100);
    DestroyWindow(owner);
}

}  // namespace
