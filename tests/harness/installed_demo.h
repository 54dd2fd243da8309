// The sample package "Demo" installed in this process into a scratch folder, with the records
// that start-up fills in the uninstall and repair modes, and where the install put things.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "install/install_sequence.h"
#include "run/run_context.h"
#include "tests/harness/demo_installation.h"

namespace test {

// What an uninstall of it reports, and what one reports that deletes nothing.
inline const std::vector<std::wstring> kSevenLines = {
    L"开始卸载...",       L"  1.卸载输入接口...", L"  2.删除文件系统...", L"  4.删除注册表信息...",
    L"  5.卸载输入法...", L"  6.删除快捷方式...", L"  7.卸载完成."};
inline const std::vector<std::wstring> kAborted = {
    L"开始卸载...", L"  卸载已中止：记录的安装目录无法确认，未删除任何文件和注册表信息."};

const wchar_t kDemoEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo";
const wchar_t kDemoVendorKey[] = L"Software\\vexal\\Demo";

class InstalledDemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
        InitCommonControlsEx(&controls);
        wcscpy(m_state.commandLine, L" file=C:\\Downloads\\DemoSetup.exe");
        ASSERT_TRUE(UnpackSamplePackage(m_folder / L"work\\", m_state, m_config, &m_payload));
        InstallContext context(m_state, nullptr, false);
        context.package = &m_config;
        ASSERT_EQ(RunInstall(context, m_target.c_str(), L"用户", L"公司"), 1);
        // What a later run (a repair, an uninstall) has: no bare program of its own.
        m_state.bareProgram[0] = 0;
        CopyCut(m_installed.installPath, m_target.c_str());
        CopyCut(m_installed.packageName, L"Demo");
    }

    void TearDown() override {
        RemoveDemoInstallation();
    }

public:
    // Where the install puts the package, by the names the system shows; the install layout is
    // checked against them.
    static std::wstring Group() { return ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Demo\\"; }
    static std::wstring DesktopLink() { return ShellFolder(CSIDL_DESKTOPDIRECTORY) + L"\\Demo1.系统设置.lnk"; }
    static std::wstring DataFolder() { return ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SoramoIMEs\\Demo\\"; }
    static std::wstring SystemImeFile() { return SystemFolderOnDisk() + L"\\Demo(1).ime"; }

protected:

    TestFolder m_folder;
    const std::wstring m_target = m_folder / L"Demo IME\\";
    // What start-up fills for the uninstall and repair modes.
    RunContext m_run{};
    RUNSTATE& m_state = m_run.state;
    PACKAGECONFIG& m_config = m_run.package;
    INSTALLEDPACKAGE& m_installed = m_run.installed;
    std::string m_payload;
};

// The nine links of the group, by the names the install gives them.
inline const wchar_t* const kDemoLinks[] = {
    L"1.系统设置.lnk", L"2.码表管理.lnk", L"3.添加用户词.lnk", L"4.按键功能定义.lnk", L"5.构词规则.lnk",
    L"6.帮助文件.lnk", L"修复安装.lnk",   L"卸载软件.lnk",     L"检查更新.lnk"};

}  // namespace test
