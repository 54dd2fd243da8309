// The installed uninstaller under Wine: unattended and interactive uninstalls of the sample
// package, what they leave in the prefix, unattended repairs, and the exit codes.
#include <gtest/gtest.h>

#include <algorithm>

#include "res/resource.h"
#include "tests/harness/installed_demo.h"
#include "tests/harness/module_holder.h"
#include "tests/harness/process.h"
#include "tests/harness/program_run.h"
#include "tests/harness/ui_driver.h"

namespace {

using test::Completed;
using test::Exists;
using test::GoneWithin;
using test::LogLines;
using test::Utf8;

using test::kAborted;
using test::kSevenLines;

// The sample package installed unattended into its default folder under the program-files
// folder, as a deployment tool would install it.
class InstalledUninstallerTest : public test::ProgramRunTest {
protected:
    void SetUp() override {
        ProgramRunTest::SetUp();
        PlaceDemoSetup(m_setup);
    }
    void TearDown() override {
        test::RemoveDemoInstallation();
        test::RemoveTree(m_target);
    }

    // Uninstalls through the dialog started in currentFolder, from its button to "完成(&O)",
    // which closes it; the lines it showed, none when a step did not come.
    std::vector<std::wstring> UninstallThroughTheDialog(const std::wstring& currentFolder = std::wstring()) {
        HWND dialog = OpenWindow(m_uninstaller, L"-u name=[Demo]", L"Demo - 卸载程序", currentFolder);
        if (!dialog) return {};
        EXPECT_EQ(test::ItemText(dialog, IDOK), L"卸载(&U)");
        PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        for (int i = 0; i < 3000 && test::ItemText(dialog, IDOK) != L"完成(&O)"; ++i) Sleep(20);
        if (test::ItemText(dialog, IDOK) != L"完成(&O)") return {};
        const std::vector<std::wstring> lines = test::ListLines(dialog, IDC_DETAILS);
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0), 100);
        EXPECT_EQ(EndWindow(dialog, [](HWND w) { test::Click(w, IDOK); }), 0u);
        return lines;
    }
    void Install() {
        ASSERT_TRUE(Completed(Run(m_setup, L"/S /USER=Tester /COMPANY=Testers")));
        ASSERT_TRUE(Exists(m_uninstaller));
    }
    std::wstring Log(const wchar_t* name) const { return m_folder / name; }

    const std::wstring m_setup = m_folder / L"DemoSetup.exe";
    const std::wstring m_target = test::ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Demo\\";
    const std::wstring m_uninstaller = m_target + L"Unstall.exe";
};

TEST_F(InstalledUninstallerTest, AnUnattendedUninstallLeavesThePrefixAsBeforeTheInstallButForTheListedTraces) {
    const std::set<std::wstring> before = Snapshot();
    Install();
    ASSERT_FALSE(ChangesSince(before).empty()) << "the snapshot sees the install";
    const std::wstring quiet = test::RegText(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"QuietUninstallString");
    ASSERT_EQ(quiet, L"\"" + m_uninstaller + L"\" -u name=[Demo] /S");

    // Run as a deployment tool runs the entry's command.
    const DWORD code = RunCommand(quiet + L" /LOG=\"" + Log(L"uninstall log.txt") + L"\"");
    EXPECT_TRUE(Completed(code));
    EXPECT_EQ(LogLines(Log(L"uninstall log.txt")), kSevenLines);
    // The uninstaller that waited removes itself and the folder once it has its answer.
    EXPECT_TRUE(GoneWithin(m_target));
    EXPECT_TRUE(WorkingCopyGone());

    std::vector<std::wstring> expected;
    // The vendor's keys and the family's data folder stay once made; the rename list holds
    // the system IME file when it was in use.
    if (!before.count(L"HKCU\\Software\\vexal\\")) expected.push_back(L"+ HKCU\\Software\\vexal\\");
    if (!before.count(L"HKLM\\Software\\vexal\\")) expected.push_back(L"+ HKLM\\Software\\vexal\\");
    const std::wstring family = test::ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SoramoIMEs\\";
    if (!before.count(family)) expected.push_back(L"+ " + family);
    // The system makes the parent of the layouts' keys with the first layout it registers.
    const wchar_t* layouts = L"HKLM\\System\\CurrentControlSet\\Control\\Keyboard Layouts\\";
    if (!before.count(layouts)) expected.push_back(std::wstring(L"+ ") + layouts);
    std::vector<std::wstring> differences = ChangesSince(before);
    if (code == 3010) {
        const auto pending = std::find_if(differences.begin(), differences.end(), [](const std::wstring& line) {
            return line.find(L"PendingFileRenameOperations") != std::wstring::npos && line[0] == L'+';
        });
        ASSERT_NE(pending, differences.end());
        EXPECT_NE(pending->find(L"Demo(1).ime"), std::wstring::npos);
        differences.erase(pending);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(differences.begin(), differences.end());
    EXPECT_EQ(differences, expected) << test::Shown(differences);
}

TEST_F(InstalledUninstallerTest, TheInteractiveUninstallRunsFromItsButtonAndTheInstalledUninstallerGoesToo) {
    Install();
    EXPECT_EQ(UninstallThroughTheDialog(), kSevenLines);
    EXPECT_FALSE(Exists(m_target));
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, test::kDemoEntry));
    EXPECT_TRUE(WorkingCopyGone());
}

TEST_F(InstalledUninstallerTest, AnUninstallStartedInsideTheInstallationFolderLeavesNoFolderBehind) {
    // As the shortcut "卸载软件" starts it: its working folder is the installation folder.
    Install();
    ASSERT_EQ(UninstallThroughTheDialog(m_target), kSevenLines);
    EXPECT_TRUE(GoneWithin(m_target)) << "through the dialog";

    Install();
    EXPECT_TRUE(Completed(Run(m_uninstaller, L"-u name=[Demo] /S", m_target)));
    EXPECT_TRUE(GoneWithin(m_target)) << "unattended";
}

TEST_F(InstalledUninstallerTest, TheEntrysCommandsRunTheUninstallerBesideAPlantedProgramAndOldUnquotedOnesStillWork) {
    Install();
    // "C:\Program.exe" for "C:\Program Files\Demo\": what the system tries first for an unquoted path.
    const size_t blank = m_target.find(L' ');
    ASSERT_NE(blank, std::wstring::npos) << "the installation folder needs a blank for this test";
    const std::wstring planted = m_target.substr(0, blank) + L".exe";
    ASSERT_FALSE(Exists(planted));
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrModuleHolder.exe").c_str(), planted.c_str(), TRUE));
    struct RemovePlanted {
        std::wstring path;
        ~RemovePlanted() { DeleteFileW(path.c_str()); }
    } removePlanted{planted};
    const std::wstring unquoted = m_uninstaller + L" -u name=[Demo]";
    {
        // Without this, the test would prove nothing: an unquoted command runs the planted program.
        fw::UniqueHandle process = test::StartCommandWithTemp(unquoted, m_temp);
        EXPECT_EQ(_wcsicmp(test::ImagePathOf(process.Get()).c_str(), planted.c_str()), 0);
        test::WaitForExit(process.Get());
    }

    const struct {
        const wchar_t* value;
        const wchar_t* title;
    } kCommands[] = {{L"UninstallString", L"Demo - 卸载程序"}, {L"ModifyPath", L"Demo - 修复程序"}};
    for (const auto& command : kCommands) {
        const std::wstring line = test::RegText(HKEY_LOCAL_MACHINE, test::kDemoEntry, command.value);
        fw::UniqueHandle first = test::StartCommandWithTemp(line, m_temp);
        EXPECT_EQ(_wcsicmp(test::ImagePathOf(first.Get()).c_str(), m_uninstaller.c_str()), 0) << Utf8(line);
        EXPECT_EQ(test::WaitForExit(first.Get()), 0u);
        HWND dialog = test::WaitForWindow(0, command.title);
        ASSERT_TRUE(dialog) << Utf8(line);
        EXPECT_EQ(EndWindow(dialog), 0u);
        EXPECT_TRUE(WorkingCopyGone());
    }

    // An entry that an earlier install wrote unquoted, run where nothing is planted.
    DeleteFileW(planted.c_str());
    test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"QuietUninstallString", (unquoted + L" /S").c_str());
    EXPECT_TRUE(Completed(RunCommand(test::RegText(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"QuietUninstallString"))));
    EXPECT_TRUE(GoneWithin(m_target));
}

// Any process of the user can set the user's value; the elevated uninstall must not empty
// the folder it names, though that one looks like an installation.
TEST_F(InstalledUninstallerTest, AFolderSetUnderTheUsersKeyIsNeverEmptied) {
    Install();
    const std::wstring victim = m_folder / L"victim\\";
    CreateDirectoryW(victim.c_str(), nullptr);
    test::WriteBytes(victim + L"Unstall.exe", "MZ");
    test::WriteBytes(victim + L"my work.txt", "mine");
    test::SetRegString(HKEY_CURRENT_USER, test::kDemoVendorKey, L"SMEInstallPath", victim.c_str());

    EXPECT_TRUE(Completed(Run(m_uninstaller, L"-u name=[Demo] /S")));
    EXPECT_TRUE(Exists(victim + L"my work.txt"));
    EXPECT_TRUE(Exists(victim + L"Unstall.exe"));
    EXPECT_TRUE(GoneWithin(m_target)) << "the folder the machine's value names";
}

// A recorded folder that the check refuses: nothing at all goes, so that what is installed
// can still be uninstalled once the record is right again, and the run says it failed.
TEST_F(InstalledUninstallerTest, AnUnconfirmedFolderEndsAnUnattendedUninstallWith1603AndDeletesNothing) {
    Install();
    const std::wstring recorded = test::SystemFolder() + L"\\SrRecorded\\";
    CreateDirectoryW(recorded.c_str(), nullptr);
    test::WriteBytes(recorded + L"Unstall.exe", "MZ");
    test::WriteBytes(recorded + L"keep me.txt", "mine");
    test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoVendorKey, L"SMEInstallPath", recorded.c_str());

    const std::wstring log = Log(L"uninstall log.txt");
    EXPECT_EQ(Run(m_uninstaller, L"-u name=[Demo] /S /LOG=\"" + log + L"\""), 1603u);
    EXPECT_EQ(LogLines(log), kAborted);
    EXPECT_TRUE(Exists(recorded + L"keep me.txt"));
    EXPECT_TRUE(Exists(m_target + L"config.exe"));
    EXPECT_TRUE(Exists(m_uninstaller));
    EXPECT_TRUE(Exists(test::ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SoramoIMEs\\Demo\\readme.txt"));
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, test::kDemoEntry));
    EXPECT_TRUE(test::KeyExists(HKEY_CURRENT_USER, test::kDemoVendorKey));
    EXPECT_TRUE(FindImeLayout(L"Demo(1).ime"));
    for (const wchar_t* link : test::kDemoLinks) {
        EXPECT_TRUE(Exists(test::ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Demo\\" + link)) << Utf8(link);
    }
    test::RemoveTree(recorded);
}

TEST_F(InstalledUninstallerTest, AnUnattendedRepairRestoresTheInstallAndAnUnusableBackupExitsWith1620) {
    Install();
    ASSERT_TRUE(DeleteFileW((m_target + L"config.exe").c_str()));
    // Names as long as the welcome page takes them (255 characters), stored as it stores them.
    const std::wstring owner = L"新用户" + std::wstring(252, L'名'), company = std::wstring(200, L'C') + L" Ltd";
    test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"RegOwner", owner.c_str());
    test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"RegCompany", company.c_str());
    const std::wstring log = Log(L"repair log.txt");
    const DWORD code = Run(m_uninstaller, L"-r name=[Demo] /S \"/LOG=" + log + L"\"");
    EXPECT_TRUE(Completed(code));
    EXPECT_TRUE(Exists(m_target + L"config.exe"));
    EXPECT_EQ(test::RegText(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"RegOwner"), owner);
    EXPECT_EQ(test::RegText(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"RegCompany"), company);
    std::vector<std::wstring> lines = LogLines(log);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines.back(), code == 0 ? L"安装程序已经完成所有工作!" : L"安装程序已经完成所有工作,但部分设置在重新启动以后方能生效!");
    EXPECT_TRUE(Exists(m_uninstaller)) << "a repair keeps its uninstaller";

    const std::string backup = test::ReadBytes(m_target + L"_backup_.dat");
    test::WriteBytes(m_target + L"_backup_.dat", backup.substr(0, backup.size() / 2));
    DeleteFileW(log.c_str());
    EXPECT_EQ(Run(m_uninstaller, L"-r name=[Demo] /S /LOG=\"" + log + L"\""), 1620u);
    EXPECT_EQ(LogLines(log), std::vector<std::wstring>{L"安装数据文件不存在或者已经损坏,修复程序无法运行."});

    ASSERT_TRUE(DeleteFileW((m_target + L"_backup_.dat").c_str()));
    EXPECT_EQ(Run(m_uninstaller, L"-r name=[Demo] /S"), 1620u);
    EXPECT_TRUE(Exists(m_target + L"config.exe")) << "nothing was touched";
}

// A link path that is a folder fails the last step of an unattended install or repair: the
// run exits with 1603 after putting back everything, the older files' bytes included.
TEST_F(InstalledUninstallerTest, AFailedUnattendedInstallOrRepairExitsWith1603AndLeavesThePrefixAsItWas) {
    const std::wstring group = test::ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Demo\\";
    const std::wstring blocker = group + L"卸载软件.lnk";
    const std::wstring failure = L"安装程序发生错误，所做操作已经撤销!";

    CreateDirectoryW(group.c_str(), nullptr);
    CreateDirectoryW(blocker.c_str(), nullptr);
    std::set<std::wstring> before = Snapshot();
    const std::wstring installLog = Log(L"install log.txt");
    EXPECT_EQ(Run(m_setup, L"/S /LOG=\"" + installLog + L"\""), 1603u);
    std::vector<std::wstring> differences = ChangesSince(before);
    EXPECT_TRUE(differences.empty()) << test::Shown(differences);
    EXPECT_EQ(LogLines(installLog).back(), failure);
    RemoveDirectoryW(blocker.c_str());

    // Installed, then made older; the repair fails at the same place.
    Install();
    test::WriteBytes(m_target + L"config.exe", "config of an older version");
    test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"RegOwner", L"Old Owner");
    DeleteFileW(blocker.c_str());
    CreateDirectoryW(blocker.c_str(), nullptr);
    before = Snapshot();
    const std::wstring repairLog = Log(L"repair log.txt");
    EXPECT_EQ(Run(m_uninstaller, L"-r name=[Demo] /S /LOG=\"" + repairLog + L"\""), 1603u);
    differences = ChangesSince(before);
    EXPECT_TRUE(differences.empty()) << test::Shown(differences);
    const std::vector<std::wstring> lines = LogLines(repairLog);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], L"  5.创建开始菜单及桌面快捷方式...") << test::Shown(lines);
    EXPECT_EQ(lines.back(), failure);
    RemoveDirectoryW(blocker.c_str());
}

TEST_F(InstalledUninstallerTest, AHolderOfTheModuleStopsAnUnattendedUninstallUnlessItIsToBeClosed) {
    Install();
    const std::wstring module = m_folder / L"Demo(1).ime";
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrGuardTest.ime").c_str(), module.c_str(), FALSE));
    test::Holder holder(module);
    ASSERT_TRUE(holder.Ready());

    const std::wstring log = Log(L"uninstall log.txt");
    EXPECT_EQ(Run(m_uninstaller, L"-u name=[Demo] /S /LOG=\"" + log + L"\""), 32u);
    std::vector<std::wstring> lines = LogLines(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(std::to_wstring(holder.Id())), std::wstring::npos) << Utf8(lines[0]);
    EXPECT_TRUE(Exists(m_target + L"config.exe")) << "nothing was removed";

    EXPECT_EQ(Run(m_uninstaller, L"-u name=[] /S"), 1639u) << "no package name";
    EXPECT_EQ(Run(m_uninstaller, L"-r name=[..] /S"), 1639u) << "no plain package name";

    EXPECT_TRUE(Completed(Run(m_uninstaller, L"-u name=[Demo] /S /FORCECLOSE")));
    EXPECT_EQ(WaitForSingleObject(holder.Process(), 5000), WAIT_OBJECT_0) << "the holder was ended";
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, test::kDemoEntry));
    EXPECT_TRUE(GoneWithin(m_target));
}

// A package whose name has the full 39 characters: its module key "<name>(1).ime" has 46.
class LongNamedPackageTest : public test::ProgramRunTest {
protected:
    void SetUp() override {
        ProgramRunTest::SetUp();
        CreateDirectoryW(m_content.c_str(), nullptr);
        ASSERT_EQ(Srpack(L"info --out \"" + m_content + L"InstallInfo.dif\" --name " + kName + L" --layout LongIme"),
                  0u);
        ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrGuardTest.ime").c_str(), (m_content + kName + L".ime").c_str(),
                              FALSE));
        ASSERT_EQ(Srpack(L"build --base \"" + test::ProgramBeside(L"srinstallbase.exe") + L"\" --content \"" +
                         m_content.substr(0, m_content.size() - 1) + L"\" --out \"" + m_setup + L"\""),
                  0u);
    }
    void TearDown() override {
        INSTALLEDPACKAGE installed{};
        CopyCut(installed.packageName, kName.c_str());
        RUNSTATE state{};
        InstallContext removal(state, nullptr, false);
        removal.installed = &installed;
        RemoveIme(removal);
        test::DeleteRegTree(HKEY_LOCAL_MACHINE, kEntry);
        test::DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\vexal\\" + kName);
        test::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\vexal\\" + kName);
        RemoveShortcuts(kName.c_str());
        test::RemoveTree(test::ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SoramoIMEs\\" + kName);
        test::RemoveTree(m_target);
    }

    DWORD Srpack(const std::wstring& arguments) { return Run(test::ProgramBeside(L"srpack.exe"), arguments); }

    const std::wstring kName = L"SrLongNamedPackage" + std::wstring(21, L'x');
    const std::wstring kEntry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + kName;
    const std::wstring kImeFile = kName + L"(1).ime";
    const std::wstring m_content = m_folder / L"content\\";
    const std::wstring m_setup = m_folder / L"LongSetup.exe";
    const std::wstring m_target = test::ShellFolder(CSIDL_PROGRAM_FILES) + L"\\" + kName + L"\\";
};

TEST_F(LongNamedPackageTest, IsGuardedByItsWholeModuleKeyAndUninstalledCompletely) {
    ASSERT_EQ(kName.size(), 39u);
    {
        const std::wstring copy = m_folder / kImeFile;
        ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrGuardTest.ime").c_str(), copy.c_str(), FALSE));
        test::Holder holder(copy);
        ASSERT_TRUE(holder.Ready());
        EXPECT_EQ(Run(m_setup, L"/S"), 32u) << "the install found no holder of " << Utf8(kImeFile);
        EXPECT_FALSE(Exists(m_target));
    }
    ASSERT_TRUE(Completed(Run(m_setup, L"/S")));
    const std::wstring systemFile = test::SystemFolderOnDisk() + L"\\" + kImeFile;
    ASSERT_TRUE(Exists(systemFile));
    ASSERT_TRUE(FindImeLayout(kImeFile.c_str()));
    const std::wstring uninstaller = m_target + L"Unstall.exe";

    // Cut to 39 characters, a longer name would be this package's.
    EXPECT_EQ(Run(uninstaller, L"-u name=[" + kName + L"yyyy] /S"), 1639u);
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, kEntry));
    {
        test::Holder holder(systemFile);
        ASSERT_TRUE(holder.Ready());
        EXPECT_EQ(Run(uninstaller, L"-u name=[" + kName + L"] /S"), 32u) << "the uninstall found no holder";
        EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, kEntry));
    }

    EXPECT_TRUE(Completed(Run(uninstaller, L"-u name=[" + kName + L"] /S")));
    EXPECT_FALSE(FindImeLayout(kImeFile.c_str())) << "the keyboard layout stayed";
    EXPECT_TRUE(!Exists(systemFile) || test::TakePendingRename(systemFile) != L"(no entry)") << "the IME file stayed";
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, kEntry));
    EXPECT_TRUE(GoneWithin(m_target));
}

}  // namespace
