// File placement and the backup: where each part of the payload lands, what a reinstall
// keeps, and what is left to the next restart.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <filesystem>
#include <string>
#include <vector>

#include "run/folders.h"
#include "install/install_steps.h"
#include "tests/install/install_run.h"

namespace {

using test::Exists;
using test::ReadBytes;
namespace fs = std::filesystem;

// A file with its missing folders.
void Put(const std::wstring& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    test::WriteBytes(path, bytes);
}

// Whatever a test puts outside its scratch folder carries its package's name and is
// removed at the end.
class PlacementTest : public testing::Test {
protected:
    // The split always leaves the bare program, which becomes Unstall.exe.
    PlacementTest() { Put(m_run.State().bareProgram, "uninstaller"); }
    ~PlacementTest() override {
        for (const std::wstring& path : m_outside) test::RemoveTree(path);
        wchar_t data[MAX_PATH];
        if (GetPackageDataFolder(data, L"SrTestPlace")) {
            test::RemoveTree(data);
            RemoveDirectoryW(fs::path(data).parent_path().parent_path().c_str());
        }
    }
    std::wstring Outside(const std::wstring& path) {
        m_outside.push_back(path);
        return path;
    }

    test::InstallRun m_run{L"SrTestPlace"};
    std::vector<std::wstring> m_outside;
};

TEST_F(PlacementTest, EachPlacementFolderGoesToItsPlaceInAnyLetterCase) {
    Put(m_run.Payload(L"$SYSTEM32$\\SrTestPlace.dll"), "system");
    Put(m_run.Payload(L"$SYSTEM32$\\SrTestPlaceSub\\inner.dat"), "inner");
    Put(m_run.Payload(L"$Windows$\\SrTestPlace.ini"), "windows");
    Put(m_run.Payload(L"$fonts$\\SrTestPlace.ttf"), "font");
    Put(m_run.Payload(L"$fonts$\\SrTestPlaceCaps.TTF"), "capitals");
    Put(m_run.Payload(L"$fonts$\\SrTestPlace.ttf.old"), "older");
    Put(m_run.Payload(L"$DATAFILES$\\skins\\blue.skn"), "blue");
    Put(m_run.Payload(L"SrTestPlace.ime"), "module");
    Put(m_run.Payload(L"ITF\\Interface.dll"), "interface");
    Put(m_run.State().bareProgram, "bare program");
    const std::wstring system = Outside(test::SystemFolder() + L"\\SrTestPlace.dll");
    const std::wstring sub = Outside(test::SystemFolder() + L"\\SrTestPlaceSub\\");
    const std::wstring windows = Outside(test::ShellFolder(CSIDL_WINDOWS) + L"\\SrTestPlace.ini");
    const std::wstring fonts = test::ShellFolder(CSIDL_FONTS) + L"\\";
    for (const wchar_t* font : {L"SrTestPlace.ttf", L"SrTestPlaceCaps.TTF", L"SrTestPlace.ttf.old"}) {
        Outside(fonts + font);
    }
    wchar_t data[MAX_PATH];
    ASSERT_TRUE(GetPackageDataFolder(data, L"SrTestPlace"));

    EXPECT_EQ(PlaceFiles(m_run.Context()), 1);

    EXPECT_EQ(ReadBytes(system), "system");
    EXPECT_EQ(ReadBytes(sub + L"inner.dat"), "inner");
    EXPECT_EQ(ReadBytes(windows), "windows");
    EXPECT_EQ(ReadBytes(fonts + L"SrTestPlace.ttf"), "font");
    EXPECT_EQ(ReadBytes(fonts + L"SrTestPlace.ttf.old"), "older");
    EXPECT_FALSE(Exists(fonts + L"SrTestPlaceCaps.TTF"));
    EXPECT_EQ(ReadBytes(data + std::wstring(L"skins\\blue.skn")), "blue");
    EXPECT_EQ(ReadBytes(m_run.Installed(L"SrTestPlace.ime")), "module");
    EXPECT_EQ(ReadBytes(m_run.Installed(L"ITF\\Interface.dll")), "interface");
    EXPECT_EQ(ReadBytes(m_run.Installed(L"unstall.exe")), "bare program");
    for (const wchar_t* placement : {L"$system32$", L"$windows$", L"$fonts$", L"$dataFiles$"}) {
        EXPECT_FALSE(Exists(m_run.Installed(placement))) << placement;
        EXPECT_FALSE(Exists(m_run.Payload(placement))) << placement;  // the capitalised font with it
    }
    EXPECT_EQ(m_run.Context().restartNeeded, 0);

    // Wine keeps no access lists and shows no "Users" entry on any file (a grant only turns
    // up in the Unix mode, as group rwx), so this tells only on Windows.
    EXPECT_EQ(test::FileDaclText(system).find(L";BU)"), std::wstring::npos) << test::FileDaclText(system);
    EXPECT_EQ(test::FileDaclText(sub).find(L";BU)"), std::wstring::npos) << test::FileDaclText(sub);
}

TEST_F(PlacementTest, AReinstallOverwritesItsOwnFilesAndLeavesOthersAlone) {
    Put(m_run.Payload(L"tables\\main.dat"), "new table");
    Put(m_run.State().bareProgram, "new uninstaller");
    Put(m_run.Installed(L"tables\\main.dat"), "old table");
    Put(m_run.Installed(L"tables\\user.dat"), "the user's words");
    Put(m_run.Installed(L"Unstall.exe"), "old uninstaller");

    EXPECT_EQ(PlaceFiles(m_run.Context()), 1);
    EXPECT_EQ(ReadBytes(m_run.Installed(L"tables\\main.dat")), "new table");
    EXPECT_EQ(ReadBytes(m_run.Installed(L"tables\\user.dat")), "the user's words");
    EXPECT_EQ(ReadBytes(m_run.Installed(L"Unstall.exe")), "new uninstaller");
    EXPECT_EQ(m_run.Context().restartNeeded, 0);
}

TEST_F(PlacementTest, ASystemFileInUseIsReplacedAtTheNextRestart) {
    const std::wstring target = Outside(test::SystemFolder() + L"\\SrTestPlaceHeld.dll");
    Put(m_run.Payload(L"$system32$\\SrTestPlaceHeld.dll"), "new");
    Put(target, "old");

    HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(PlaceFiles(m_run.Context()), 1);
    CloseHandle(held);

    // By its name on disk: under WOW64 the restart would take "System32" for the 64-bit folder.
    const std::wstring staged = test::TakePendingReplacementOf(test::SystemFolderOnDisk() + L"\\SrTestPlaceHeld.dll");
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    EXPECT_EQ(staged.rfind(temp, 0), 0u) << staged;
    EXPECT_EQ(m_run.Context().restartNeeded, 1);
    EXPECT_EQ(ReadBytes(target), "old");
    EXPECT_EQ(ReadBytes(staged), "new");
    EXPECT_FALSE(Exists(m_run.Payload(L"$system32$")));
    DeleteFileW(staged.c_str());
}

// A file that can be neither placed nor left for the restart fails the step, instead of an
// install that reports success with the file missing.
TEST_F(PlacementTest, AFileThatCanBeNeitherPlacedNorStagedFailsTheStep) {
    Put(m_run.Payload(L"main.dat"), "table");
    Put(m_run.Payload(L"config.exe"), "config");
    HANDLE locked = CreateFileW(m_run.Payload(L"main.dat").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(PlaceFiles(m_run.Context()), 0);
    CloseHandle(locked);
    EXPECT_FALSE(Exists(m_run.Installed(L"main.dat")));
    EXPECT_EQ(ReadBytes(m_run.Installed(L"config.exe")), "config");
    EXPECT_EQ(m_run.Context().restartNeeded, 0);
}

// The backup

class BackupTest : public testing::Test {
protected:
    BackupTest() {
        for (int i = 0; i < 70000; ++i) m_payload += static_cast<char>((i * 7919) >> 3);  // every byte value
        test::WriteBytes(m_run.State().payloadFile, m_payload);
        Put(m_backup, "an older backup");
    }

    test::InstallRun m_run{L"SrTestBackup"};
    const std::wstring m_backup = m_run.Installed(L"_backup_.dat"), m_staged = m_backup + L".temp";
    std::string m_payload;
};

TEST_F(BackupTest, ThePayloadIsCopiedByteForByteOrAtTheNextRestartWhenTheBackupIsHeld) {
    EXPECT_EQ(BackupPayload(m_run.Context()), 1);
    EXPECT_EQ(ReadBytes(m_backup), m_payload);
    EXPECT_EQ(m_run.Context().restartNeeded, 0);

    test::WriteBytes(m_backup, "an older backup");
    HANDLE held = CreateFileW(m_backup.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(BackupPayload(m_run.Context()), 1);
    CloseHandle(held);
    // From a copy beside it: the payload file goes with the work folder before any restart.
    EXPECT_EQ(test::TakePendingRename(m_staged), L"!\\??\\" + m_backup);
    EXPECT_EQ(m_run.Context().restartNeeded, 1);
    EXPECT_EQ(ReadBytes(m_staged), m_payload);
    EXPECT_EQ(ReadBytes(m_backup), "an older backup");
}

TEST_F(BackupTest, ARepairFromTheBackupLeavesItAsItIs) {
    test::InstallRun::Set(m_run.State().payloadFile, m_run.Installed(L"_BACKUP_.DAT"));
    EXPECT_EQ(BackupPayload(m_run.Context()), 1);
    EXPECT_EQ(ReadBytes(m_backup), "an older backup");
    EXPECT_EQ(test::TakePendingRename(m_staged), L"(no entry)");
    EXPECT_EQ(m_run.Context().restartNeeded, 0);
}

}  // namespace
