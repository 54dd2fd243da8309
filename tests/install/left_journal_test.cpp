// Journals that a killed run left: the next run of the package finishes the rollback when
// everything in the journal lies where an install of the package writes, and leaves any other
// journal (another package's, malformed, cut short, pointing elsewhere) alone without writing
// or deleting anything.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <set>
#include <string>
#include <vector>

#include "install/install_sequence.h"
#include "install/install_steps.h"
#include "install/journal.h"
#include "tests/harness/installed_demo.h"
#include "tests/harness/prefix_snapshot.h"
#include "tests/harness/recorded_progress.h"

namespace {

using test::Shown;

std::wstring CommonAppData() { return test::ShellFolder(CSIDL_COMMON_APPDATA); }

// The id of a process that has ended.
DWORD EndedProcessId() {
    std::wstring line = L"\"" + test::SystemFolder() + L"\\cmd.exe\" /c exit";
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
        return 0;
    }
    WaitForSingleObject(info.hProcess, 20000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return info.dwProcessId;
}

std::wstring JournalFolderOf(DWORD pid) {
    return CommonAppData() + L"\\SRIMEJournal.Demo." + std::to_wstring(pid) + L".0123456789abcdef\\";
}

void WriteJournalText(const std::wstring& folder, const std::wstring& text, bool oddByte = false) {
    std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    if (oddByte) bytes += 'x';
    test::WriteBytes(folder + L"journal.txt", bytes);
}

std::wstring ReadJournalText(const std::wstring& folder) {
    const std::string bytes = test::ReadBytes(folder + L"journal.txt");
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

class LeftJournalTest : public test::InstalledDemoTest {
protected:
    void TearDown() override {
        for (const std::wstring& folder : m_planted) test::RemoveTree(folder);
        test::DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\SrVictim");
        InstalledDemoTest::TearDown();
    }
    bool Unpack() {
        test::RemoveTree(m_folder / L"work\\");
        return test::UnpackSamplePackage(m_folder / L"work\\", m_state, m_config);
    }
    std::vector<std::wstring> Skip() const { return {m_folder / L"work\\"}; }

    std::vector<std::wstring> m_planted;
};

// A repair of an older version killed after its third step: the next run finds the journal,
// puts back the older files and values and removes the layout the run registered.
TEST_F(LeftJournalTest, AKilledRunIsUndoneByTheNextRunOfThePackage) {
    test::WriteBytes(m_target + L"config.exe", "config of version 0.9");
    test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoEntry, L"DisplayVersion", L"0.9");
    ASSERT_TRUE(Unpack());
    const std::set<std::wstring> before = test::SnapshotPrefix(Skip());

    std::wstring killed;
    {
        InstallJournal journal;
        ASSERT_TRUE(journal.Begin(L"Demo", m_target.c_str()));
        InstallContext context(m_state, nullptr, false);
        context.package = &m_config;
        CopyCut(context.installFolder, m_target.c_str());
        context.journal = &journal;
        ASSERT_EQ(PlaceFiles(context), 1);
        WriteInstallPath(context);
        ASSERT_EQ(RegisterIme(context), 1);
        ASSERT_EQ(WriteUninstallEntry(L"新用户", L"", context), 1);
        ASSERT_TRUE(journal.Flush());
        killed = journal.Folder();
    }  // killed here: the journal stays on the disk as the process left it
    ASSERT_NE(test::ReadBytes(m_target + L"config.exe"), "config of version 0.9");

    // As if its process had ended: the folder and the header carry an ended process's id.
    const DWORD pid = EndedProcessId();
    ASSERT_NE(pid, 0u);
    const std::wstring left = JournalFolderOf(pid);
    ASSERT_TRUE(MoveFileW(killed.c_str(), left.c_str()));
    m_planted.push_back(left);
    std::wstring text = ReadJournalText(left);
    const size_t pidStart = text.find(L'\t', text.find(L'\t', 2) + 1) + 1;
    text.replace(pidStart, text.find(L'\t', pidStart) - pidStart, std::to_wstring(pid));
    // The kill cut the last record short: it names a place no install writes, and is left out.
    text += L"F\tC:\\srtests";
    WriteJournalText(left, text);

    test::RecordedProgress progress;
    InstallContext next(m_state, &progress, false);
    FinishLeftJournals(next, L"Demo");
    EXPECT_EQ(progress.lines, std::vector<std::wstring>{kLeftJournalUndoneLine});
    EXPECT_FALSE(test::Exists(left));
    const std::vector<std::wstring> differences = test::Differences(before, test::SnapshotPrefix(Skip()));
    EXPECT_TRUE(differences.empty()) << Shown(differences);
}

// A journal that names anything but the package's own places is refused whole.
struct HostileCase {
    const char* what;
    // The journal's text after the header line; %T is the installation folder, %V the victim
    // file outside it.
    std::wstring records;
    const wchar_t* header;  // %P the process id, %T the installation folder
    bool oddByte;
    const wchar_t* access = nullptr;  // the folder's access list; none: as a plain new folder gets
};

std::wstring Expand(std::wstring text, const std::wstring& pid, const std::wstring& target, const std::wstring& victim) {
    for (const auto& [mark, value] : {std::pair<std::wstring, std::wstring>{L"%P", pid}, {L"%T", target}, {L"%V", victim}}) {
        for (size_t at; (at = text.find(mark)) != std::wstring::npos;) text.replace(at, 2, value);
    }
    return text;
}

TEST_F(LeftJournalTest, AJournalThatNamesAnythingElseIsLeftAloneAndNothingIsTouched) {
    const wchar_t* kHeader = L"J\t1\tDemo\t%P\t%T\n";
    const HostileCase cases[] = {
        {"another package's name in the header", L"F\t%V\n", L"J\t1\tOther\t%P\t%T\n", false},
        {"another process's id in the header", L"F\t%V\n", L"J\t1\tDemo\t1\t%T\n", false},
        {"a file to delete outside the package's places", L"F\t%V\n", kHeader, false},
        {"a file to restore outside them", L"R\t%V\tk1\n", kHeader, false},
        {"a step up out of the installation folder", L"F\t%T..\\victim.txt\n", kHeader, false},
        {"a stream of a file", L"F\t%Tconfig.exe:victim\n", kHeader, false},
        {"a relative path", L"F\tvictim.txt\n", kHeader, false},
        {"a device's name as a step", L"F\t%Tnul.txt\n", kHeader, false},
        {"a key of someone else's", L"K\tHKLM\tSoftware\\SrVictim\n", kHeader, false},
        {"a value of someone else's key", L"V\tHKLM\tSoftware\\SrVictim\tvalue\t0\t0\t\n", kHeader, false},
        {"another hive", L"K\tHKU\tSoftware\\vexal\\Demo\n", kHeader, false},
        {"an installation folder that no install may use", L"F\tC:\\srtests\\victim.txt\n", L"J\t1\tDemo\t%P\tC:\\\n",
         false},
        {"a record short of a field", L"R\t%Tconfig.exe\n", kHeader, false},
        {"a kept copy that is not there", L"R\t%Tconfig.exe\tk7\n", kHeader, false},
        {"a kind of record unknown", L"X\t%Tconfig.exe\n", kHeader, false},
        {"a header only half there", L"", L"J\t1\n", false},
        {"an odd number of bytes", L"F\t%Tconfig.exe\n", kHeader, true},
        // Anyone may make a folder here; one that everyone may write in is not a run's journal.
        {"a folder everyone may write in", L"F\t%Tconfig.exe\n", kHeader, false, L"D:(A;OICI;FA;;;WD)"},
    };
    const std::wstring victim = m_folder / L"victim.txt";
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteBytes(victim, "not the installer's");
        test::SetRegString(HKEY_LOCAL_MACHINE, L"Software\\SrVictim", L"value", L"not the installer's");
        const DWORD pid = EndedProcessId();
        ASSERT_NE(pid, 0u);
        const std::wstring folder = JournalFolderOf(pid);
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        m_planted.push_back(folder);
        if (c.access) {
            // Set afterwards: Wine keeps a new folder's access list only as far as the umask lets it.
            PSECURITY_DESCRIPTOR access = nullptr;
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.access, SDDL_REVISION_1, &access, nullptr));
            const BOOL set = SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, access);
            LocalFree(access);
            ASSERT_TRUE(set);
        }
        test::WriteBytes(folder + L"k1", "evil");
        const std::wstring p = std::to_wstring(pid);
        WriteJournalText(folder, Expand(c.header, p, m_target, victim) + Expand(c.records, p, m_target, victim),
                         c.oddByte);
        const std::set<std::wstring> before = test::SnapshotPrefix(Skip());

        test::RecordedProgress progress;
        InstallContext next(m_state, &progress, false);
        FinishLeftJournals(next, L"Demo");
        EXPECT_EQ(progress.lines, std::vector<std::wstring>{kLeftJournalRefusedLine + folder});
        const std::vector<std::wstring> differences = test::Differences(before, test::SnapshotPrefix(Skip()));
        EXPECT_TRUE(differences.empty()) << Shown(differences);
        EXPECT_EQ(test::ReadBytes(victim), "not the installer's");
        EXPECT_EQ(test::RegText(HKEY_LOCAL_MACHINE, L"Software\\SrVictim", L"value"), L"not the installer's");
        test::RemoveTree(folder);
    }
    EXPECT_TRUE(test::Exists(m_target + L"config.exe")) << "the installation was not touched";
}

// The journal of a run that is still at work belongs to that run.
TEST_F(LeftJournalTest, TheJournalOfARunningProcessIsNotTouched) {
    std::wstring line = L"\"" + test::SystemFolder() + L"\\cmd.exe\" /c ping -n 30 127.0.0.1 >nul";
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                               &info));
    const std::wstring folder = JournalFolderOf(info.dwProcessId);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    m_planted.push_back(folder);
    WriteJournalText(folder, L"J\t1\tDemo\t" + std::to_wstring(info.dwProcessId) + L"\t" + m_target + L"\nF\t" +
                                 m_target + L"config.exe\n");

    test::RecordedProgress progress;
    InstallContext next(m_state, &progress, false);
    FinishLeftJournals(next, L"Demo");
    TerminateProcess(info.hProcess, 0);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    EXPECT_TRUE(progress.lines.empty()) << Shown(progress.lines);
    EXPECT_TRUE(test::Exists(m_target + L"config.exe"));
    EXPECT_TRUE(test::Exists(folder + L"journal.txt"));
}

}  // namespace
