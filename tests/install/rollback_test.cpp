// A failing install step undoes what the run changed before it says so. For each step a
// failure is put in its way the platform's way (a folder with a file's name, a file held
// without sharing, a key whose access list refuses writing), on a fresh machine and over an
// installed older version; afterwards the prefix (registry branches, drive C: with contents)
// must equal what it was before the run.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "install/install_sequence.h"
#include "install/journal.h"
#include "install/repair.h"
#include "tests/harness/installed_demo.h"
#include "tests/harness/prefix_snapshot.h"
#include "tests/harness/recorded_progress.h"

namespace {

const wchar_t kFailureLine[] = L"安装程序发生错误，所做操作已经撤销!";
const std::wstring kEntryKey = test::kDemoEntry;

using test::Shown;
using test::Utf8;

bool SetKeyAccess(const std::wstring& key, const std::wstring& sddl) {
    HKEY opened;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, WRITE_DAC, &opened) != ERROR_SUCCESS) return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool stored = false;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        stored = RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        LocalFree(descriptor);
    }
    RegCloseKey(opened);
    return stored;
}

// Replaces whatever is at path by an empty folder of that name.
void FolderInstead(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    CreateDirectoryW(path.c_str(), nullptr);
}

// One failure and what it does to the run; take() takes it away after the comparison. Both
// are given the installation folder, with its backslash.
struct Injection {
    const char* what;
    const wchar_t* stepLine;  // the line of the step that fails
    bool overInstalledOnly;
    std::function<bool(const std::wstring&)> put;
    std::function<void(const std::wstring&)> take;
};

HANDLE g_held = INVALID_HANDLE_VALUE;
std::wstring g_savedAccess;

const Injection kInjections[] = {
    {"a folder with the name of a file of the installation folder", L"  1.创建文件系统....", false,
     [](const std::wstring& target) {
         CreateDirectoryW(target.c_str(), nullptr);
         FolderInstead(target + L"config.exe");
         return true;
     },
     [](const std::wstring& target) { RemoveDirectoryW((target + L"config.exe").c_str()); }},
    {"a folder with the name of the system IME file", L"  2.设置软件运行环境...", false,
     [](const std::wstring&) {
         FolderInstead(test::InstalledDemoTest::SystemImeFile());
         return true;
     },
     [](const std::wstring&) { RemoveDirectoryW(test::InstalledDemoTest::SystemImeFile().c_str()); }},
    {"the system IME file held open without sharing", L"  2.设置软件运行环境...", true,
     [](const std::wstring&) {
         g_held = CreateFileW(test::InstalledDemoTest::SystemImeFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         return g_held != INVALID_HANDLE_VALUE;
     },
     [](const std::wstring&) {
         CloseHandle(g_held);
         g_held = INVALID_HANDLE_VALUE;
     }},
    {"an uninstall entry whose access list lets nobody write", L"  3.写入卸载信息...", false,
     [](const std::wstring&) {
         HKEY key;
         if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEntryKey.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) !=
             ERROR_SUCCESS) {
             return false;
         }
         RegCloseKey(key);
         g_savedAccess = test::MachineKeyDaclText(kEntryKey);
         // Reading and changing the list stay allowed, so that the test can put it back.
         return SetKeyAccess(kEntryKey, L"D:P(A;;KRRCWD;;;WD)");
     },
     [](const std::wstring&) { SetKeyAccess(kEntryKey, g_savedAccess.empty() ? L"D:(A;;KA;;;WD)" : g_savedAccess); }},
    {"a folder with the name of the backup", L"  4.备份安装数据...", false,
     [](const std::wstring& target) {
         CreateDirectoryW(target.c_str(), nullptr);
         FolderInstead(target + L"_backup_.dat");
         return true;
     },
     [](const std::wstring& target) { RemoveDirectoryW((target + L"_backup_.dat").c_str()); }},
    {"a link path that is a folder", L"  5.创建开始菜单及桌面快捷方式...", false,
     [](const std::wstring&) {
         CreateDirectoryW(test::InstalledDemoTest::Group().c_str(), nullptr);
         FolderInstead(test::InstalledDemoTest::Group() + L"卸载软件.lnk");
         return true;
     },
     [](const std::wstring&) { RemoveDirectoryW((test::InstalledDemoTest::Group() + L"卸载软件.lnk").c_str()); }},
};

class RollbackTest : public test::InstalledDemoTest {
protected:
    // The installed package made older: other bytes in its files, another version in its entry,
    // so that a rollback that left the new ones would show.
    void AgeInstallation() {
        test::WriteBytes(m_target + L"config.exe", "config of version 0.9");
        test::WriteBytes(m_target + L"License.html", "licence of version 0.9");
        test::WriteBytes(DataFolder() + L"readme.txt", "readme of version 0.9");
        test::SetRegString(HKEY_LOCAL_MACHINE, kEntryKey, L"DisplayVersion", L"0.9");
        test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoVendorKey, L"SMEInstallPath", L"C:\\Old\\Demo\\");
    }
    // Uninstalled: a fresh machine as far as this package goes.
    void Uninstall() {
        test::RemoveDemoInstallation();
        test::RemoveTree(m_target);
    }
    // The sample package unpacked again, for a second run.
    bool Unpack() {
        test::RemoveTree(m_folder / L"work\\");
        return test::UnpackSamplePackage(m_folder / L"work\\", m_state, m_config);
    }
    std::vector<std::wstring> Skip() const { return {m_folder / L"work\\"}; }
};

TEST_F(RollbackTest, AFailingStepLeavesThePrefixAsItWasFreshAndOverAnOlderVersion) {
    for (const bool over : {false, true}) {
        for (const Injection& injection : kInjections) {
            if (injection.overInstalledOnly && !over) continue;
            SCOPED_TRACE(std::string(injection.what) + (over ? ", over an older version" : ", fresh"));
            Uninstall();
            if (over) {
                ASSERT_TRUE(Unpack());
                InstallContext first(m_state, nullptr, false);
                first.package = &m_config;
                ASSERT_EQ(RunInstall(first, m_target.c_str(), L"用户", L"公司"), 1);
                AgeInstallation();
            }
            ASSERT_TRUE(Unpack());
            ASSERT_TRUE(injection.put(m_target)) << "the failure could not be put in place";
            const std::set<std::wstring> before = test::SnapshotPrefix(Skip());

            test::RecordedProgress progress;
            InstallContext context(m_state, &progress, false);
            context.package = &m_config;
            const int result = RunInstall(context, m_target.c_str(), L"用户", L"公司");
            const std::vector<std::wstring> differences = test::Differences(before, test::SnapshotPrefix(Skip()));
            injection.take(m_target);

            EXPECT_EQ(result, 0);
            EXPECT_TRUE(differences.empty()) << Shown(differences);
            const std::vector<std::wstring>& lines = progress.lines;
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), kFailureLine);
            const auto step = std::find(lines.begin(), lines.end(), injection.stepLine);
            ASSERT_NE(step, lines.end()) << Shown(lines);
            // The failing step's own lines may follow its line, its completion line may not.
            for (auto line = step; line != lines.end(); ++line) {
                EXPECT_EQ(line->find(L"完成"), std::wstring::npos) << Shown(lines);
            }
        }
    }
}

// A repair is the install sequence once more over the installed package: a step that fails
// puts back the older files and values it had begun to replace.
TEST_F(RollbackTest, AFailingRepairPutsBackWhatWasInstalled) {
    for (const Injection& injection : kInjections) {
        // A repair installs from the backup and does not write it again.
        if (std::string(injection.what).find("backup") != std::string::npos) continue;
        SCOPED_TRACE(injection.what);
        Uninstall();
        ASSERT_TRUE(Unpack());
        InstallContext first(m_state, nullptr, false);
        first.package = &m_config;
        ASSERT_EQ(RunInstall(first, m_target.c_str(), L"用户", L"公司"), 1);
        AgeInstallation();
        // The repair finds the installation by its recorded folder.
        test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoVendorKey, L"SMEInstallPath", m_target.c_str());
        ASSERT_TRUE(injection.put(m_target)) << "the failure could not be put in place";
        const std::set<std::wstring> before = test::SnapshotPrefix(Skip());

        test::RecordedProgress progress;
        InstallContext context(m_state, &progress, false);
        m_state.bareProgram[0] = 0;  // a repair has none of its own
        const RepairOutcome outcome = RunRepair(context, m_installed, L"用户", L"公司");
        const std::vector<std::wstring> differences = test::Differences(before, test::SnapshotPrefix(Skip()));
        injection.take(m_target);

        EXPECT_EQ(outcome, RepairOutcome::kStepFailed);
        EXPECT_TRUE(differences.empty()) << Shown(differences);
        ASSERT_FALSE(progress.lines.empty());
        EXPECT_EQ(progress.lines.back(), kFailureLine) << Shown(progress.lines);
    }
}

// A file that the run made is held when the rollback comes: it goes at the next restart, and
// the list says so before the failure line.
TEST_F(RollbackTest, WhatIsHeldAtTheRollbackIsLeftForTheRestartAndSaid) {
    Uninstall();
    ASSERT_TRUE(Unpack());
    ASSERT_TRUE(kInjections[5].put(m_target));
    const std::set<std::wstring> before = test::SnapshotPrefix(Skip());

    // Holds the licence that step 1 placed as soon as step 5 starts, as a reader would.
    struct HoldingProgress : test::RecordedProgress {
        std::wstring file;
        HANDLE held = INVALID_HANDLE_VALUE;
        void ShowLine(const wchar_t* line) override {
            RecordedProgress::ShowLine(line);
            if (wcscmp(line, L"  5.创建开始菜单及桌面快捷方式...") == 0) {
                held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            }
        }
    } progress;
    progress.file = m_target + L"License.html";
    InstallContext context(m_state, &progress, false);
    context.package = &m_config;
    EXPECT_EQ(RunInstall(context, m_target.c_str(), L"用户", L"公司"), 0);
    ASSERT_NE(progress.held, INVALID_HANDLE_VALUE);
    CloseHandle(progress.held);

    const std::vector<std::wstring>& lines = progress.lines;
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), kFailureLine);
    EXPECT_EQ(lines[lines.size() - 2], kUndoAtRestartLine + progress.file) << Shown(lines);
    EXPECT_EQ(context.restartNeeded, 1);
    // The restart deletes the file and then its folder, which it alone keeps.
    EXPECT_EQ(test::TakePendingRename(progress.file), L"");
    EXPECT_EQ(test::TakePendingRename(m_target.substr(0, m_target.size() - 1)), L"");
    std::vector<std::wstring> differences = test::Differences(before, test::SnapshotPrefix(Skip()));
    kInjections[5].take(m_target);
    std::vector<std::wstring> left;
    for (const std::wstring& line : differences) {
        if (line.find(L"PendingFileRenameOperations") == std::wstring::npos) left.push_back(line);
    }
    std::sort(left.begin(), left.end());
    const std::vector<std::wstring> expected = {L"+ " + m_target, L"+ " + progress.file + L" #" +
                                                                       left.back().substr(left.back().find(L'#') + 1)};
    EXPECT_EQ(left, expected) << Shown(differences);
}

// The journal's folder: only SYSTEM and Administrators may write there, and it is gone when
// the run succeeded.
TEST_F(RollbackTest, TheJournalFolderIsClosedToUsersAndGoesWithASuccessfulRun) {
    InstallJournal journal;
    ASSERT_TRUE(journal.Begin(L"Demo", m_target.c_str()));
    const std::wstring folder = journal.Folder();
    const std::wstring text = test::FileDaclText(folder);
    ASSERT_FALSE(text.empty());
    // Wine keeps of a file's list only what the Unix mode can say (SYSTEM and the owner, who
    // is the administrator here); what must hold anywhere is that no group of users is let in.
    for (const wchar_t* users : {L";BU)", L";WD)", L";AU)", L";IU)"}) {
        EXPECT_EQ(text.find(users), std::wstring::npos) << Utf8(text);
    }
    EXPECT_NE(text.find(L";SY)"), std::wstring::npos) << Utf8(text);
    journal.Finish();
    EXPECT_FALSE(test::Exists(folder));

    // A successful install leaves no journal folder behind.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((test::ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SRIMEJournal.*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << Utf8(found.cFileName);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

// Without a journal nothing is changed: an all-users application-data folder that cannot hold
// the journal's folder stops the run before its first step. A name squatted where the journal's
// folder of this process once went stops nothing: the name cannot be guessed.
TEST_F(RollbackTest, ARunThatCannotKeepAJournalChangesNothing) {
    Uninstall();
    ASSERT_TRUE(Unpack());
    const std::wstring squatted =
        test::ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SRIMEJournal.Demo." + std::to_wstring(GetCurrentProcessId());
    test::WriteBytes(squatted, "in the way");
    InstallJournal squattedOver;
    EXPECT_TRUE(squattedOver.Begin(L"Demo", m_target.c_str()));
    squattedOver.Finish();
    DeleteFileW(squatted.c_str());

    // The shell's all-users folder named below a file, where no folder can be made.
    HKEY shellFolders = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                            0, KEY_QUERY_VALUE | KEY_SET_VALUE, &shellFolders),
              ERROR_SUCCESS);
    BYTE saved[1024];
    DWORD type = 0, savedSize = sizeof saved;
    const bool had = RegQueryValueExW(shellFolders, L"Common AppData", nullptr, &type, saved, &savedSize) == ERROR_SUCCESS;
    test::WriteBytes(m_folder / L"a file", "x");
    const std::wstring below = m_folder / L"a file\\ProgramData";
    RegSetValueExW(shellFolders, L"Common AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(below.c_str()),
                   static_cast<DWORD>((below.size() + 1) * sizeof(wchar_t)));
    const std::set<std::wstring> before = test::SnapshotPrefix(Skip());
    test::RecordedProgress progress;
    InstallContext context(m_state, &progress, false);
    context.package = &m_config;
    EXPECT_EQ(RunInstall(context, m_target.c_str(), L"用户", L"公司"), 0);
    const std::vector<std::wstring> differences = test::Differences(before, test::SnapshotPrefix(Skip()));
    if (had) RegSetValueExW(shellFolders, L"Common AppData", 0, type, saved, savedSize);
    else RegDeleteValueW(shellFolders, L"Common AppData");
    RegCloseKey(shellFolders);
    EXPECT_TRUE(differences.empty()) << Shown(differences);
    const std::vector<std::wstring> expected = {L"验证安装信息....", kNoJournalLine, kFailureLine};
    EXPECT_EQ(progress.lines, expected);
}

}  // namespace
