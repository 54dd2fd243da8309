// The uninstall sequence over an installed sample package: its seven lines, what goes and
// what stays, the interface module, a file in use, a second run, and recorded folders it must
// not trust, for which it deletes nothing at all.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "run/folders.h"
#include "install/installed_package.h"
#include "install/uninstall_sequence.h"
#include "tests/harness/installed_demo.h"
#include "tests/harness/ui_driver.h"
#include "wizard/dialog_progress.h"

namespace {

using test::Exists;

using test::kAborted;
using test::kSevenLines;

INT_PTR CALLBACK OwnerProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

using test::Utf8;

// An Unstall.exe and a marker beside it placed into a folder (made when missing), as a
// recorded folder of an installation would hold it; all of it goes again at the end.
class PlantedUninstaller {
public:
    explicit PlantedUninstaller(const std::wstring& folder)
        : m_folder(folder), m_made(CreateDirectoryW(folder.c_str(), nullptr) != 0) {
        test::WriteBytes(folder + L"Unstall.exe", "MZ");
        test::WriteBytes(folder + L"keep me.txt", "mine");
    }
    ~PlantedUninstaller() {
        DeleteFileW((m_folder + L"Unstall.exe").c_str());
        DeleteFileW((m_folder + L"keep me.txt").c_str());
        if (m_made) RemoveDirectoryW(m_folder.c_str());
    }
    PlantedUninstaller(const PlantedUninstaller&) = delete;
    PlantedUninstaller& operator=(const PlantedUninstaller&) = delete;

    bool Intact() const { return Exists(m_folder + L"Unstall.exe") && Exists(m_folder + L"keep me.txt"); }

private:
    std::wstring m_folder;
    bool m_made;
};

class UninstallTest : public test::InstalledDemoTest {
protected:
    void SetUp() override {
        test::InstalledDemoTest::SetUp();
        m_owner = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(900), nullptr, OwnerProc, 0);
    }
    void TearDown() override {
        DestroyWindow(m_owner);
        test::InstalledDemoTest::TearDown();
    }

    // One run over the owner dialog; the lines it added.
    std::vector<std::wstring> Uninstall(int expected = 1) {
        SendDlgItemMessageW(m_owner, 1006, LB_RESETCONTENT, 0, 0);
        DialogProgress progress(m_owner);
        InstallContext context(m_state, &progress, true);
        context.installed = &m_installed;
        EXPECT_EQ(RunUninstall(context), expected);
        m_restartNeeded = context.restartNeeded;
        return test::ListLines(m_owner, 1006);
    }

    // Whether every part of the installation is still there.
    void ExpectNothingDeleted(const std::string& where) {
        EXPECT_TRUE(Exists(m_target + L"config.exe")) << where;
        EXPECT_TRUE(Exists(m_target + L"Unstall.exe")) << where;
        EXPECT_TRUE(Exists(DataFolder() + L"readme.txt")) << where;
        EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, test::kDemoEntry)) << where;
        EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, test::kDemoVendorKey)) << where;
        EXPECT_TRUE(test::KeyExists(HKEY_CURRENT_USER, test::kDemoVendorKey)) << where;
        EXPECT_TRUE(FindImeLayout(L"Demo(1).ime")) << where;
        EXPECT_TRUE(Exists(SystemImeFile())) << where;
        for (const wchar_t* link : test::kDemoLinks) EXPECT_TRUE(Exists(Group() + link)) << where << " " << Utf8(link);
        EXPECT_TRUE(Exists(DesktopLink())) << where;
    }

    HWND m_owner = nullptr;
    int m_restartNeeded = 0;
};

TEST_F(UninstallTest, RemovesWhatTheInstallPlacedInSevenLinesAndASecondRunIsAborted) {
    ASSERT_TRUE(Exists(m_target + L"config.exe"));
    ASSERT_TRUE(Exists(DataFolder() + L"readme.txt"));
    ASSERT_TRUE(Exists(Group() + test::kDemoLinks[0]));
    ASSERT_TRUE(FindImeLayout(L"Demo(1).ime"));

    EXPECT_EQ(Uninstall(), kSevenLines);
    EXPECT_EQ(SendDlgItemMessageW(m_owner, 1008, PBM_GETPOS, 0, 0), 100);
    EXPECT_EQ(SendDlgItemMessageW(m_owner, 1006, LB_GETCURSEL, 0, 0), 6) << "the last line is selected";

    EXPECT_FALSE(Exists(m_target)) << "the installation folder";
    EXPECT_FALSE(Exists(DataFolder())) << "the package data folder";
    EXPECT_TRUE(Exists(test::ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SoramoIMEs")) << "its parent stays";
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, test::kDemoEntry));
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        EXPECT_FALSE(test::KeyExists(hive, test::kDemoVendorKey));
        EXPECT_TRUE(test::KeyExists(hive, L"Software\\vexal")) << "the vendor's own key stays";
    }
    for (const wchar_t* link : test::kDemoLinks) EXPECT_FALSE(Exists(Group() + link)) << Utf8(link);
    EXPECT_FALSE(Exists(Group()));
    EXPECT_FALSE(Exists(DesktopLink()));
    EXPECT_FALSE(FindImeLayout(L"Demo(1).ime"));
    // A module the system still holds goes at the next restart.
    if (Exists(SystemImeFile())) {
        EXPECT_EQ(m_restartNeeded, 1);
        EXPECT_EQ(test::TakePendingRename(SystemImeFile()), L"");
    } else {
        EXPECT_EQ(m_restartNeeded, 0);
    }

    // Its folder is gone with its Unstall.exe: the record names no installation any more.
    EXPECT_EQ(Uninstall(0), kAborted);
}

TEST_F(UninstallTest, EveryLayoutOfTheModuleGoesAfterARepairRegisteredItAgain) {
    // A repair registers the module once more; Wine makes a second layout for it.
    ASSERT_TRUE(CopyFileW(SystemImeFile().c_str(), (m_target + L"Demo.ime").c_str(), FALSE));
    InstallContext repair(m_state, nullptr, false);
    repair.package = &m_config;
    CopyCut(repair.installFolder, m_target.c_str());
    ASSERT_EQ(RegisterIme(repair), 1);
    ASSERT_GE(FindImeLayouts(L"Demo(1).ime").size(), 2u);

    EXPECT_EQ(Uninstall(), kSevenLines);
    EXPECT_TRUE(FindImeLayouts(L"Demo(1).ime").empty());
}

TEST_F(UninstallTest, TheInterfaceModuleIsToldToShutDownBeforeItsFolderGoes) {
    // A module that needs a neighbour of its own in its folder.
    CreateDirectoryW((m_target + L"ITF").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrTestInterfaceNeighbour.dll").c_str(),
                          (m_target + L"ITF\\Interface.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrPlanted.dll").c_str(), (m_target + L"ITF\\SrPlanted.dll").c_str(),
                          FALSE));
    const std::wstring record = m_folder / L"interface calls.txt";
    SetEnvironmentVariableW(L"SR_INTERFACE_RECORD", record.c_str());
    EXPECT_EQ(Uninstall(), kSevenLines);
    SetEnvironmentVariableW(L"SR_INTERFACE_RECORD", nullptr);
    EXPECT_EQ(test::ReadBytes(record), "0 7 0 0\n");
    EXPECT_FALSE(Exists(m_target)) << "the module was freed before the folder was deleted";
}

TEST_F(UninstallTest, WhatTheInterfaceModuleNeedsIsNotTakenFromTheCurrentFolder) {
    CreateDirectoryW((m_target + L"ITF").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrTestInterfaceNeighbour.dll").c_str(),
                          (m_target + L"ITF\\Interface.dll").c_str(), FALSE));
    // Its neighbour lies only where the uninstall was started from.
    const std::wstring current = m_folder / L"started here\\";
    CreateDirectoryW(current.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrPlanted.dll").c_str(), (current + L"SrPlanted.dll").c_str(), FALSE));
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(current.c_str()));
    const std::wstring calls = m_folder / L"interface calls.txt", loaded = m_folder / L"loaded markers.txt";
    SetEnvironmentVariableW(L"SR_INTERFACE_RECORD", calls.c_str());
    SetEnvironmentVariableW(L"SR_PLANTED_RECORD", loaded.c_str());
    EXPECT_EQ(Uninstall(), kSevenLines);
    SetEnvironmentVariableW(L"SR_INTERFACE_RECORD", nullptr);
    SetEnvironmentVariableW(L"SR_PLANTED_RECORD", nullptr);
    SetCurrentDirectoryW(saved);
    EXPECT_FALSE(Exists(loaded)) << "the module in the current folder was loaded";
    EXPECT_FALSE(Exists(calls));
    // The uninstall went on without the interface. (Wine keeps a module whose imports failed
    // mapped, so Interface.dll stays in its folder here.)
    EXPECT_FALSE(Exists(m_target + L"config.exe"));
}

TEST_F(UninstallTest, AFileInUseStaysWithItsFolderAndTheRestGoes) {
    HANDLE held = CreateFileW((m_target + L"config.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    CreateDirectoryW((m_target + L"skins").c_str(), nullptr);
    test::WriteBytes(m_target + L"skins\\blue.skn", "skin");
    EXPECT_EQ(Uninstall(), kSevenLines);
    CloseHandle(held);
    EXPECT_TRUE(Exists(m_target + L"config.exe"));
    for (const wchar_t* name : {L"License.html", L"unstall.exe", L"_backup_.dat", L"skins"}) {
        EXPECT_FALSE(Exists(m_target + name)) << Utf8(name);
    }
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, test::kDemoEntry)) << "the other steps ran all the same";
    EXPECT_FALSE(Exists(Group()));
}

// A recorded folder that the installation-folder rule refuses (here one below the system
// folder that holds an Unstall.exe, and an empty one), a folder without an Unstall.exe, and
// names that are no plain package name.
TEST_F(UninstallTest, ARecordWithoutAnInstallationOrAPlainNameDeletesNothingAtAll) {
    const std::wstring belowSystem = test::ShellFolder(CSIDL_SYSTEM) + L"\\SrRecorded\\";
    PlantedUninstaller planted(belowSystem);
    // A folder of other files beside the installation, and the package data of another one.
    const std::wstring beside = m_folder / L"other\\";
    CreateDirectoryW(beside.c_str(), nullptr);
    test::WriteBytes(beside + L"keep me.txt", "mine");
    const std::wstring otherData = test::ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SoramoIMEs\\Other\\";
    std::filesystem::create_directories(otherData);
    test::WriteBytes(otherData + L"words.txt", "other package");

    const struct {
        std::wstring path, name;
    } kRecords[] = {{belowSystem, L"Demo"}, {L"", L"Demo"}, {beside, L"Demo"},
                    {m_target, L".."},      {m_target, L""}, {m_target, L"Demo\\..\\Other"}};
    for (const auto& record : kRecords) {
        CopyCut(m_installed.installPath, record.path.c_str());
        CopyCut(m_installed.packageName, record.name.c_str());
        const std::string where = Utf8(record.path) + " " + Utf8(record.name);
        EXPECT_EQ(Uninstall(0), kAborted) << where;
        EXPECT_TRUE(Exists(beside + L"keep me.txt")) << where;
        EXPECT_TRUE(Exists(otherData + L"words.txt")) << where;
        EXPECT_TRUE(planted.Intact()) << where;
        ExpectNothingDeleted(where);
    }
    test::RemoveTree(otherData);
}

// The installation-folder rule (tabled in run/folders_test.cpp) decides, and then the
// Unstall.exe that every installation folder holds.
TEST(InstalledFolderTest, IsTheNormalisedFolderThatTheRuleLetsThroughWhenItHoldsAnUnstallExe) {
    const std::wstring programs = test::ShellFolder(CSIDL_PROGRAM_FILES);
    const std::wstring installation = programs + L"\\Sr Installed IME\\";
    const std::wstring belowSystem = test::ShellFolder(CSIDL_SYSTEM) + L"\\SrRecorded\\";
    PlantedUninstaller installed(installation), planted(belowSystem);
    const struct {
        std::wstring path;
        std::wstring folder;  // empty: refused
    } kCases[] = {
        {installation.substr(0, installation.size() - 1), installation},  // written by other means
        {belowSystem, L""},
        {programs + L"\\SrNoUninstaller\\", L""},
    };
    CreateDirectoryW((programs + L"\\SrNoUninstaller").c_str(), nullptr);
    for (const auto& c : kCases) {
        INSTALLEDPACKAGE package{};
        CopyCut(package.installPath, c.path.c_str());
        wchar_t folder[kPathChars];
        EXPECT_EQ(InstalledFolder(package, folder), !c.folder.empty()) << Utf8(c.path);
        EXPECT_EQ(_wcsicmp(folder, c.folder.c_str()), 0) << Utf8(c.path) << " -> " << Utf8(folder);
    }
    RemoveDirectoryW((programs + L"\\SrNoUninstaller").c_str());
}

}  // namespace
