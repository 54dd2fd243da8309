// IME registration under Wine: the vendor key, the system IME file, the keyboard layout and
// its registry traces. Every test puts back what it changed.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "install/install_context.h"
#include "install/install_steps.h"
#include "tests/harness/recorded_progress.h"
#include "tests/harness/test_folder.h"

namespace {

using test::Exists;
using test::TestFolder;

const wchar_t kName[] = L"SrGuardIme";
const wchar_t kFileName[] = L"SrGuardIme(1).ime";
const wchar_t kLayouts[] = L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts";
const wchar_t kLayouts001[] = L"SYSTEM\\ControlSet001\\Control\\Keyboard Layouts";
const wchar_t kPreload[] = L"Keyboard Layout\\Preload";
const HKEY kHives[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

using test::KeyExists;
using test::RegText;

std::wstring SystemFile() {
    return test::SystemFolder() + L"\\" + kFileName;
}

// The layout's handle in hexadecimal; "%X" is how the layout keys are named.
std::wstring LayoutText(HKL layout, const wchar_t* format = L"%X") {
    wchar_t text[20];
    swprintf(text, 20, format, static_cast<unsigned>(reinterpret_cast<UINT_PTR>(layout)));
    return text;
}

std::wstring LayoutKey(const wchar_t* layouts, HKL layout) { return std::wstring(layouts) + L"\\" + LayoutText(layout); }

// A package "SrGuardIme" installed from a scratch folder, its lines caught in a list box.
class ImeRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 2; ++i) m_hadVendorKey[i] = KeyExists(kHives[i], L"Software\\vexal");
        m_hadControlSet001 = KeyExists(HKEY_LOCAL_MACHINE, L"SYSTEM\\ControlSet001");
        m_hadLayouts = KeyExists(HKEY_LOCAL_MACHINE, kLayouts);
        wcscpy(m_config.name, kName);
        wcscpy(m_config.layoutText, L"SrGuard 测试输入法");
        wcscpy(m_installed.packageName, kName);
        m_context.package = &m_config;
        m_context.installed = &m_installed;
        wcscpy(m_context.installFolder, m_folder.Path().c_str());
    }

    void TearDown() override {
        // Wine makes a new layout for every registration; each one of this package goes.
        for (HKL layout = FindImeLayout(kFileName); layout; layout = FindImeLayout(kFileName)) {
            if (RegDeleteKeyW(HKEY_LOCAL_MACHINE, LayoutKey(kLayouts, layout).c_str()) != ERROR_SUCCESS) break;
        }
        // ImmInstallIMEW makes the parent key too; it goes only when it holds nothing.
        if (!m_hadLayouts) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kLayouts);
        DeleteFileW(SystemFile().c_str());
        for (int i = 0; i < 2; ++i) {
            RegDeleteKeyW(kHives[i], L"Software\\vexal\\SrGuardIme");
            if (!m_hadVendorKey[i]) RegDeleteKeyW(kHives[i], L"Software\\vexal");
        }
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kPreload, L"SrGuardIme");
        if (!m_hadControlSet001) RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM\\ControlSet001");
    }

    std::vector<std::wstring> Lines() const { return m_report.lines; }

    // The module placed in the installation folder and registered; the layout found for it.
    HKL Install() {
        EXPECT_TRUE(CopyFileW(test::ProgramBeside(L"SrGuardTest.ime").c_str(), (m_folder / L"SrGuardIme.ime").c_str(),
                              FALSE));
        EXPECT_EQ(RegisterIme(m_context), 1);
        return FindImeLayout(kFileName);
    }

    TestFolder m_folder;
    PACKAGECONFIG m_config{};
    INSTALLEDPACKAGE m_installed{};
    RUNSTATE m_state{};
    test::RecordedProgress m_report;
    InstallContext m_context{m_state, &m_report, false};
    bool m_hadVendorKey[2] = {};
    bool m_hadControlSet001 = false;
    bool m_hadLayouts = false;
};

TEST_F(ImeRegistrationTest, WriteInstallPathWritesBothHives) {
    EXPECT_EQ(WriteInstallPath(m_context), ERROR_SUCCESS);
    for (HKEY hive : kHives) {
        EXPECT_EQ(RegText(hive, L"Software\\vexal\\SrGuardIme", L"SMEInstallPath"), m_folder.Path());
    }
}

// Registering

TEST_F(ImeRegistrationTest, RegisterImeMovesTheModuleIntoTheSystemFolderAndMakesALayout) {
    const HKL layout = Install();
    ASSERT_TRUE(layout);
    EXPECT_FALSE(Exists(m_folder / L"SrGuardIme.ime"));
    EXPECT_TRUE(Exists(SystemFile()));
    EXPECT_EQ(FindImeLayout(L"srguardime(1).IME"), layout);
    EXPECT_TRUE(Lines().empty());

    // Wine keeps the full path as the layout's IME file, where Windows keeps the bare name.
    const std::wstring key = LayoutKey(kLayouts, layout);
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, key, L"Layout Text"), m_config.layoutText);
    EXPECT_EQ(_wcsicmp(RegText(HKEY_LOCAL_MACHINE, key, L"Ime File").c_str(), SystemFile().c_str()), 0);
}

TEST_F(ImeRegistrationTest, RegisterImeReportsTheSourceOfAFailedCopy) {
    EXPECT_EQ(RegisterIme(m_context), 0);
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"复制IME文件到系统目录发生错误，复制文件路径：" + m_folder.Path() +
                                                 L"SrGuardIme.ime"});
    EXPECT_FALSE(Exists(SystemFile()));
    EXPECT_FALSE(FindImeLayout(kFileName));
}

// Removing

TEST_F(ImeRegistrationTest, RemoveImeRemovesTheLayoutItsKeysAndTheFile) {
    const HKL layout = Install();
    ASSERT_TRUE(layout);
    // Windows enters these two as well; Wine 8 writes neither. Lower case on purpose.
    test::SetRegString(HKEY_CURRENT_USER, kPreload, L"SrGuardIme", LayoutText(layout, L"%x").c_str());
    test::SetRegString(HKEY_LOCAL_MACHINE, LayoutKey(kLayouts001, layout), L"Ime File", kFileName);
    const std::wstring firstPreload = RegText(HKEY_CURRENT_USER, kPreload, L"1");

    EXPECT_EQ(RemoveIme(m_context), 1);
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kPreload, L"SrGuardIme"), L"(missing)");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kPreload, L"1"), firstPreload);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LayoutKey(kLayouts, layout)));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LayoutKey(kLayouts001, layout)));
    EXPECT_FALSE(FindImeLayout(kFileName));
    EXPECT_FALSE(Exists(SystemFile()));
    EXPECT_EQ(m_context.restartNeeded, 0);
}

// A module that a process still holds goes at the next restart, under the name of the folder
// it lies in on disk: for a 32-bit program "System32" would name the 64-bit namesake.
TEST_F(ImeRegistrationTest, AModuleInUseIsDeletedAtTheNextRestartFromTheFolderItLiesIn) {
    ASSERT_TRUE(Install());
    HANDLE held = CreateFileW(SystemFile().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RemoveIme(m_context), 1);
    CloseHandle(held);
    EXPECT_EQ(m_context.restartNeeded, 1);
    EXPECT_EQ(test::TakePendingRename(test::SystemFolderOnDisk() + L"\\" + kFileName), L"");
}

TEST_F(ImeRegistrationTest, RemoveImeWithoutALoadedLayoutTouchesNothing) {
    // The file alone, as a registration that failed leaves it.
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrGuardTest.ime").c_str(), SystemFile().c_str(), FALSE));
    EXPECT_EQ(RemoveIme(m_context), 0);
    EXPECT_TRUE(Exists(SystemFile()));
}

}  // namespace
