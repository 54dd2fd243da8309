// The shared folder operations: folder paths, the installation-folder rule, emptying, moving
// and measuring trees, and the access list that opens a path to "Users".
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <set>
#include <string>
#include <vector>

#include "run/access.h"
#include "run/file_placement.h"
#include "run/folders.h"
#include "run/install_folder.h"
#include "run/install_layout.h"
#include "tests/harness/installed_demo.h"
#include "tests/harness/test_folder.h"

namespace {

using test::Exists;
using test::ReadBytes;
using test::TestFolder;
using test::WriteBytes;

void MakeFolders(const std::wstring& path) { SHCreateDirectoryExW(nullptr, path.c_str(), nullptr); }

// Paths

TEST(FoldersTest, WorkAndPackageDataFolderPaths) {
    wchar_t out[kPathChars];
    MakeWorkFolderPath(out, L"C:\\Temp\\");
    EXPECT_STREQ(out, L"C:\\Temp\\__SRIMEInstall\\");
    MakeWorkFolderPath(out, L"C:\\Temp");
    EXPECT_STREQ(out, L"C:\\Temp\\__SRIMEInstall\\");

    ASSERT_EQ(GetPackageDataFolder(out, L"NoSuchIme"), 1);
    EXPECT_EQ(std::wstring(out), test::ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SoramoIMEs\\NoSuchIme\\");
    EXPECT_FALSE(Exists(out));
}

// The installation folder

using test::ShellFolder;
using test::Utf8;

std::wstring ShortName(const std::wstring& path) {
    wchar_t shortPath[MAX_PATH] = {};
    GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return shortPath;
}

// The one table of the rule; the destination page, the switches and the uninstall each show
// with a case or two that they apply it.
TEST(InstallFolderRuleTest, AFolderMustBeFullAndOutsideTheSystemsOwnFolders) {
    const std::wstring windows = ShellFolder(CSIDL_WINDOWS), programs = ShellFolder(CSIDL_PROGRAM_FILES);
    const std::wstring common = ShellFolder(CSIDL_PROGRAM_FILES_COMMON);
    ASSERT_NE(ShortName(programs), programs) << "the test needs a short name that differs";
    // Folders that exist, so that they have short names of their own down to the last step.
    const std::wstring installed = programs + L"\\Sr Installed IME\\";
    const std::wstring recorded = ShellFolder(CSIDL_SYSTEM) + L"\\SrRecorded\\";
    CreateDirectoryW(installed.c_str(), nullptr);
    CreateDirectoryW(recorded.c_str(), nullptr);
    using V = FolderVerdict;
    const struct {
        std::wstring path;
        V verdict;
        std::wstring folder;  // what a usable one becomes
    } kCases[] = {
        {programs + L"\\Demo IME", V::kUsable, programs + L"\\Demo IME\\"},
        {ShortName(programs) + L"\\Demo IME\\", V::kUsable, programs + L"\\Demo IME\\"},
        {L"D:/输入法/Demo", V::kUsable, L"D:\\输入法\\Demo\\"},
        {L"\\\\server\\share\\Demo\\", V::kUsable, L"\\\\server\\share\\Demo\\"},
        {installed, V::kUsable, installed},
        {installed.substr(0, installed.size() - 1), V::kUsable, installed},
        {ShortName(installed), V::kUsable, installed},
        // Relative, drive-less or rooted without a drive: they depend on the current folder.
        {L"abc", V::kNotFull, L""},
        {L"\\foo", V::kNotFull, L""},
        {L"C:foo", V::kNotFull, L""},
        {L"", V::kNotFull, L""},
        {L"C:\\Demo\\..\\", V::kNotFull, L""},
        {L"C:\\Demo\\.\\", V::kNotFull, L""},
        {L"C:\\Demo\\\\x\\", V::kNotFull, L""},
        // Roots, administrative shares, device paths and names the system changes or refuses.
        {L"C:\\", V::kRefused, L""},
        {L"\\\\server\\share\\", V::kRefused, L""},
        {L"\\\\host\\C$\\Demo\\", V::kRefused, L""},
        {L"\\\\127.0.0.1\\ADMIN$\\Demo", V::kRefused, L""},
        {L"\\\\?\\C:\\Demo\\", V::kRefused, L""},
        {L"\\\\.\\C:\\Demo\\", V::kRefused, L""},
        {L"\\\\?\\UNC\\host\\share\\Demo\\", V::kRefused, L""},
        {L"C:\\De*\\", V::kRefused, L""},
        {L"C:\\Demo \\x\\", V::kRefused, L""},
        {windows + L".\\", V::kRefused, L""},
        {L"D:\\aux.v2\\Demo\\", V::kRefused, L""},  // a device's name, whatever follows the dot
        {windows + L".", V::kRefused, L""},
        // The system's own folders and what lies in them; program files only themselves.
        {windows + L"\\SrNew\\", V::kRefused, L""},
        {ShortName(programs) + L"\\", V::kRefused, L""},
        {ShortName(common) + L"\\", V::kRefused, L""},
        {recorded, V::kRefused, L""},
        {ShortName(recorded), V::kRefused, L""},
        {programs, V::kRefused, L""},
        {ShellFolder(CSIDL_PROGRAM_FILESX86), V::kRefused, L""},
        {ShellFolder(CSIDL_PROGRAM_FILES_COMMON), V::kRefused, L""},
        {ShellFolder(CSIDL_PERSONAL) + L"\\Demo", V::kRefused, L""},
        {ShellFolder(CSIDL_PROFILE), V::kRefused, L""},
        {ShellFolder(CSIDL_COMMON_DOCUMENTS) + L"\\Demo", V::kRefused, L""},
        {ShellFolder(CSIDL_COMMON_APPDATA) + L"\\Demo", V::kRefused, L""},
        {ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Demo", V::kRefused, L""},
    };
    for (const auto& c : kCases) {
        wchar_t folder[kPathChars] = L"(untouched)";
        EXPECT_EQ(CheckInstallFolder(c.path.c_str(), folder), c.verdict) << Utf8(c.path);
        EXPECT_EQ(_wcsicmp(folder, c.folder.c_str()), 0) << Utf8(c.path) << " -> " << Utf8(folder);
    }
    RemoveDirectoryW(installed.c_str());
    RemoveDirectoryW(recorded.c_str());
}

// The layout names every place as the system and the user see it; the harness's names are the
// texts themselves.
TEST(InstallLayoutTest, ThePlacesOfAPackageAreTheOnesItsInstallIsSeenToUse) {
    const std::wstring target = ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Demo IME\\";
    InstallPlaces places;
    ASSERT_TRUE(GetInstallPlaces(L"Demo", target.c_str(), places));
    using Demo = test::InstalledDemoTest;
    EXPECT_EQ(places.installFolder, target);
    EXPECT_EQ(places.group, Demo::Group());
    EXPECT_EQ(places.desktopLink, Demo::DesktopLink());
    EXPECT_EQ(places.data, Demo::DataFolder());
    EXPECT_EQ(places.system + L"\\" + places.imeFile, Demo::SystemImeFile());
    EXPECT_EQ(places.entryKey, test::kDemoEntry);
    EXPECT_EQ(places.vendorKey, test::kDemoVendorKey);
    std::set<std::wstring> links;
    for (const LinkText& link : kConfigLinks) links.insert(link.link);
    for (const LinkText& link : kUninstallerLinks) links.insert(link.link);
    EXPECT_EQ(links, std::set<std::wstring>(std::begin(test::kDemoLinks), std::end(test::kDemoLinks)));
    EXPECT_FALSE(GetInstallPlaces(L"Demo", ShellFolder(CSIDL_WINDOWS).c_str(), places)) << "no place an install may use";
}

// A 32-bit program under WOW64 is told the 64-bit program-files folder only by ProgramW6432;
// this 64-bit one is shown a folder of that name that it would not know otherwise.
TEST(InstallFolderRuleTest, TheOtherViewsProgramFilesFolderIsRefusedButNotItsSubfolders) {
    wchar_t saved[MAX_PATH] = {};
    const bool had = GetEnvironmentVariableW(L"ProgramW6432", saved, MAX_PATH) != 0;
    SetEnvironmentVariableW(L"ProgramW6432", L"D:\\Sr Other Program Files");
    wchar_t folder[kPathChars];
    const FolderVerdict itself = CheckInstallFolder(L"D:\\Sr Other Program Files\\", folder);
    const FolderVerdict inside = CheckInstallFolder(L"D:\\Sr Other Program Files\\Demo", folder);
    SetEnvironmentVariableW(L"ProgramW6432", had ? saved : nullptr);
    EXPECT_EQ(itself, FolderVerdict::kRefused);
    EXPECT_EQ(inside, FolderVerdict::kUsable);
}

// Emptying and copying

DWORD WINAPI EmptyInThread(void* path) { return EmptyFolder(static_cast<const wchar_t*>(path)); }

TEST(FoldersTest, EmptyFolderKeepsTheFolderAndItsDotFolders) {
    TestFolder folder;
    MakeFolders(folder / L"sub\\deeper");
    MakeFolders(folder / L".git");
    WriteBytes(folder / L"a.txt", "a");
    SetFileAttributesW((folder / L"a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(folder / L"sub\\deeper\\b.txt", "b");
    WriteBytes(folder / L".git\\keep.txt", "k");

    const std::wstring path = folder.Path();
    EXPECT_EQ(EmptyFolder(path.substr(0, path.size() - 1).c_str()), 1);
    EXPECT_TRUE(Exists(path));
    EXPECT_FALSE(Exists(folder / L"a.txt"));
    EXPECT_FALSE(Exists(folder / L"sub"));
    EXPECT_TRUE(Exists(folder / L".git\\keep.txt"));
    EXPECT_EQ(EmptyFolder((folder / L"missing\\").c_str()), 0);

    // A second name of a file elsewhere stays, and the file keeps its attributes.
    TestFolder elsewhere;
    WriteBytes(elsewhere / L"system.ini", "s");
    SetFileAttributesW((elsewhere / L"system.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(CreateHardLinkW((folder / L"named.ini").c_str(), (elsewhere / L"system.ini").c_str(), nullptr));
    EXPECT_EQ(EmptyFolder(path.c_str()), 1);
    EXPECT_TRUE(Exists(folder / L"named.ini"));
    EXPECT_TRUE(GetFileAttributesW((elsewhere / L"system.ini").c_str()) & FILE_ATTRIBUTE_READONLY);
    DeleteFileW((folder / L"named.ini").c_str());

    // While the walk works in a subfolder, no process can rename it away to put a link there.
    MakeFolders(folder / L"slow");
    for (int i = 0; i < 20; ++i) WriteBytes(folder / (L"slow\\" + std::to_wstring(i)), "x");
    HANDLE walk = CreateThread(nullptr, 0, EmptyInThread, const_cast<wchar_t*>(path.c_str()), 0, nullptr);
    while (Exists(folder / L"slow\\0")) Sleep(10);
    EXPECT_FALSE(MoveFileW((folder / L"slow").c_str(), (elsewhere / L"slow").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    WaitForSingleObject(walk, INFINITE);
    CloseHandle(walk);
    EXPECT_FALSE(Exists(folder / L"slow"));
}

TEST(FoldersTest, CopyFolderTreeMovesFilesIntoNewFoldersButNotDotFolders) {
    TestFolder folder;
    const std::wstring source = folder / L"source\\", target = folder / L"new\\deep\\target";
    MakeFolders(source + L"sub");
    MakeFolders(source + L".svn");
    WriteBytes(source + L"a.txt", "alpha");
    WriteBytes(source + L"sub\\b.txt", "beta");
    WriteBytes(source + L".svn\\x.txt", "x");

    EXPECT_EQ(CopyFolderTree(source.c_str(), target.c_str(), 0), 1);
    EXPECT_EQ(ReadBytes(target + L"\\a.txt"), "alpha");
    EXPECT_EQ(ReadBytes(target + L"\\sub\\b.txt"), "beta");
    EXPECT_FALSE(Exists(target + L"\\.svn"));
    EXPECT_FALSE(Exists(source + L"a.txt"));
    EXPECT_FALSE(Exists(source + L"sub\\b.txt"));
    EXPECT_TRUE(Exists(source + L".svn\\x.txt"));
}

// Two files of one name from different folders, both in use: each waits for the restart in a
// staged copy of its own, so neither takes the other's bytes.
TEST(FoldersTest, CopyFolderTreeStagesEachTargetInUseUnderItsOwnNameForTheNextRestart) {
    for (const bool grantUsers : {true, false}) {
        TestFolder folder;
        const std::wstring source = folder / L"source\\", target = folder / L"target\\";
        MakeFolders(source + L"one");
        MakeFolders(source + L"two");
        MakeFolders(target + L"one");
        MakeFolders(target + L"two");
        std::vector<HANDLE> held;
        for (const wchar_t* sub : {L"one\\", L"two\\"}) {
            WriteBytes(source + sub + L"driver.dll", std::string("new ") + (sub[0] == L'o' ? "one" : "two"));
            WriteBytes(target + sub + L"driver.dll", "old");
            held.push_back(CreateFileW((target + sub + L"driver.dll").c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
            ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
        }

        int restartNeeded = 0;
        EXPECT_EQ(CopyFolderTree(source.c_str(), target.c_str(), 0, {grantUsers, &restartNeeded}), 1);
        for (HANDLE h : held) CloseHandle(h);

        EXPECT_EQ(restartNeeded, 1);
        const std::wstring first = test::TakePendingReplacementOf(target + L"one\\driver.dll");
        const std::wstring second = test::TakePendingReplacementOf(target + L"two\\driver.dll");
        EXPECT_NE(first, second);
        EXPECT_EQ(ReadBytes(first), "new one") << first;
        EXPECT_EQ(ReadBytes(second), "new two") << second;
        EXPECT_EQ(ReadBytes(target + L"one\\driver.dll"), "old");
        EXPECT_FALSE(Exists(source + L"one\\driver.dll"));
        DeleteFileW(first.c_str());
        DeleteFileW(second.c_str());
    }
}

// A file that can be neither copied nor staged (here its source cannot be read) fails the
// copy; it stays where it was, and the rest of the tree is placed.
TEST(FoldersTest, CopyFolderTreeFailsWhenAFileCanBeNeitherPlacedNorStaged) {
    TestFolder folder;
    const std::wstring source = folder / L"source\\", target = folder / L"target\\";
    MakeFolders(source + L"sub");
    MakeFolders(target);
    WriteBytes(source + L"locked.dat", "locked");
    WriteBytes(source + L"sub\\free.dat", "free");
    HANDLE locked = CreateFileW((source + L"locked.dat").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);

    int restartNeeded = 0;
    EXPECT_EQ(CopyFolderTree(source.c_str(), target.c_str(), 0, {false, &restartNeeded}), 0);
    CloseHandle(locked);
    EXPECT_EQ(restartNeeded, 0);
    EXPECT_FALSE(Exists(target + L"locked.dat"));
    EXPECT_EQ(ReadBytes(source + L"locked.dat"), "locked");
    EXPECT_EQ(ReadBytes(target + L"sub\\free.dat"), "free");
}

// The replacement is written beside the target and moved over it: a target that cannot be
// replaced keeps its bytes, and nothing of the attempt is left in its folder.
TEST(FoldersTest, ReplaceFileWholeSwapsInOneStepOrLeavesTheOldFileAlone) {
    TestFolder folder;
    const std::wstring fresh = folder / L"fresh.ime", target = folder / L"sys\\module.ime";
    MakeFolders(folder / L"sys");
    WriteBytes(fresh, "new module");
    WriteBytes(target, "old module");

    HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReplaceFileWhole(fresh.c_str(), target.c_str()), 0);
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(target), "old module");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder / L"sys\\*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "left behind: " << std::wstring(found.cFileName).c_str();
    if (search != INVALID_HANDLE_VALUE) FindClose(search);

    EXPECT_EQ(ReplaceFileWhole(fresh.c_str(), target.c_str()), 1);
    EXPECT_EQ(ReadBytes(target), "new module");
    EXPECT_EQ(ReadBytes(fresh), "new module");
}

TEST(FoldersTest, CopyFolderTreeWithoutGrantCopiesAndLeavesTheRestartFlagAlone) {
    TestFolder folder;
    const std::wstring source = folder / L"source\\", target = folder / L"new\\target";
    MakeFolders(source + L"sub");
    WriteBytes(source + L"sub\\b.txt", "beta");

    int restartNeeded = 0;
    EXPECT_EQ(CopyFolderTree(source.c_str(), target.c_str(), 1, {false, &restartNeeded}), 1);
    EXPECT_EQ(ReadBytes(target + L"\\sub\\b.txt"), "beta");
    EXPECT_TRUE(Exists(source + L"sub\\b.txt"));
    EXPECT_EQ(restartNeeded, 0);
}

// Everything a tree move writes, in the order the recorder hears of it.
class ListRecorder : public ChangeRecorder {
public:
    Prior BeforeFileWrite(const wchar_t* path) override {
        Add(L"F ", path);
        return Exists(path) ? Prior::kKept : Prior::kAbsent;
    }
    bool BeforeFolderCreate(const wchar_t* folder) override { return Add(L"D ", folder); }
    bool FileCreated(const wchar_t* path) override { return Add(L"F ", path); }
    bool BeforeRestartRename(const wchar_t*, const wchar_t*) override { return Add(L"P ", L""); }
    bool BeforeKeyCreate(HKEY, const wchar_t*) override { return true; }
    bool BeforeValueWrite(HKEY, const wchar_t*, const wchar_t*) override { return true; }
    bool BeforeLayoutRegister(const wchar_t*) override { return true; }
    bool FontAdded(const wchar_t*) override { return true; }
    bool Flush() override { return true; }
    std::vector<std::wstring> lines;

private:
    bool Add(const wchar_t* kind, const std::wstring& path) {
        lines.push_back(kind + path);
        return true;
    }
};

// A subfolder that is new at the target moves whole, and the recorder hears of each folder
// before what it holds; where the target folder exists, or the tree holds a dot-folder or
// is to be opened to "Users", it goes file by file. Either way every file is placed once and
// recorded, and a dot-folder stays behind.
TEST(FoldersTest, CopyFolderTreeRecordsEveryFileOfASubfolderItMovesWhole) {
    struct Case {
        const char* name;
        bool targetExists, dotFolderInside, grantUsers;
    };
    for (const Case& c : {Case{"new target", false, false, false}, Case{"existing target", true, false, false},
                          Case{"dot-folder inside", false, true, false}, Case{"opened to Users", false, false, true}}) {
        SCOPED_TRACE(c.name);
        TestFolder folder;
        const std::wstring source = folder / L"source\\", target = folder / L"target\\";
        MakeFolders(source + L"sub\\deeper");
        MakeFolders(target);
        if (c.targetExists) MakeFolders(target + L"sub");
        if (c.dotFolderInside) {
            MakeFolders(source + L"sub\\.cache");
            WriteBytes(source + L"sub\\.cache\\c.txt", "c");
        }
        WriteBytes(source + L"sub\\a.txt", "alpha");
        WriteBytes(source + L"sub\\deeper\\b.txt", "beta");

        ListRecorder recorder;
        EXPECT_EQ(CopyFolderTree(source.c_str(), target.c_str(), 0, {c.grantUsers, nullptr, &recorder}), 1);
        EXPECT_EQ(ReadBytes(target + L"sub\\a.txt"), "alpha");
        EXPECT_EQ(ReadBytes(target + L"sub\\deeper\\b.txt"), "beta");
        EXPECT_FALSE(Exists(source + L"sub\\a.txt"));
        EXPECT_FALSE(Exists(source + L"sub\\deeper\\b.txt"));
        EXPECT_FALSE(Exists(target + L"sub\\.cache"));
        EXPECT_EQ(Exists(source + L"sub\\.cache\\c.txt"), c.dotFolderInside);

        // The last record of each path counts: one refused whole move may have told of it first.
        auto last = [&](const std::wstring& line) {
            for (size_t i = recorder.lines.size(); i-- > 0;) {
                if (recorder.lines[i] == line) return static_cast<int>(i);
            }
            return -1;
        };
        const int a = last(L"F " + target + L"sub\\a.txt"), b = last(L"F " + target + L"sub\\deeper\\b.txt");
        const int deeper = last(L"D " + target + L"sub\\deeper");
        EXPECT_GE(a, 0);
        EXPECT_GT(b, deeper);
        EXPECT_GE(deeper, 0);
        EXPECT_EQ(last(L"D " + target + L"sub") >= 0, !c.targetExists);
        EXPECT_LT(last(L"D " + target + L"sub"), deeper);
    }
}

// Sizes

TEST(FolderSizeTest, EveryFileCountsWholeKiBAndAtLeastOne) {
    const struct {
        size_t bytes;
        unsigned kib;
    } kCases[] = {{0, 1}, {1, 1}, {1023, 1}, {1025, 1}, {2047, 1}, {2048, 2}};
    for (const auto& c : kCases) {
        TestFolder folder;
        WriteBytes(folder / L"f.bin", std::string(c.bytes, 'x'));
        EXPECT_EQ(GetFolderSizeKB(nullptr, folder.Path().c_str()), c.kib) << c.bytes << " bytes";
    }
}

TEST(FolderSizeTest, SubfoldersAddUpButDotFoldersDoNot) {
    TestFolder folder;
    RUNSTATE state{};
    wcsncpy(state.workFolder, folder.Path().c_str(), kPathChars - 1);
    EXPECT_EQ(GetFolderSizeKB(&state, nullptr), 0u);
    MakeFolders(folder / L".cache");
    MakeFolders(folder / L"sub\\deeper");
    WriteBytes(folder / L".cache\\big.bin", std::string(8192, 'c'));
    WriteBytes(folder / L"sub\\deeper\\f.bin", std::string(3072, 'f'));
    EXPECT_EQ(GetFolderSizeKB(&state, nullptr), 3u);
}

TEST(FolderSizeTest, FileOf4GiBOrMoreCountsItsWholeSize) {
    TestFolder folder;
    HANDLE file = CreateFileW((folder / L"sparse.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = (4ll << 30) + 1025;
    // Under Wine this is an ftruncate: a hole, made at once, that takes no disk space.
    const bool grown = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    if (!grown) GTEST_SKIP() << "this file system cannot hold a file over 4 GiB";
    EXPECT_EQ(GetFolderSizeKB(nullptr, folder.Path().c_str()), 4194305u);
}

// Access for "Users"

// The list BuildUsersAcl makes from one given as text, null for an absent one.
std::wstring WithUsersEntry(const wchar_t* oldText) {
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof users;
    CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &sidSize);
    PSECURITY_DESCRIPTOR old = nullptr;
    ACL* oldAcl = nullptr;
    ACL_SIZE_INFORMATION used = {0, sizeof(ACL), 0};
    if (oldText) {
        BOOL present, defaulted;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(oldText, SDDL_REVISION_1, &old, nullptr);
        GetSecurityDescriptorDacl(old, &present, &oldAcl, &defaulted);
        GetAclInformation(oldAcl, &used, sizeof used, AclSizeInformation);
    }
    // Exactly the room that GrantUsersAccess gives it.
    const DWORD size = used.AclBytesInUse + GetLengthSid(users) + 8;
    std::vector<BYTE> acl(size);
    const int built = BuildUsersAcl(reinterpret_cast<ACL*>(acl.data()), size, oldAcl, users);
    LocalFree(old);
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL*>(acl.data()), FALSE);
    return built ? test::DaclText(&descriptor) : L"failed";
}

TEST(UsersAccessTest, ExplicitUsersEntriesAreReplacedAndInheritedOnesStay) {
    EXPECT_EQ(WithUsersEntry(L"D:(A;;FR;;;BU)(A;;FA;;;SY)(D;;FW;;;BU)(A;ID;FR;;;BU)(A;ID;FA;;;BA)"),
              L"D:(A;;FA;;;SY)(A;OICI;GA;;;BU)(A;ID;FR;;;BU)(A;ID;FA;;;BA)");
    // Copying stops at the first inherited entry, so an explicit one behind it stays.
    EXPECT_EQ(WithUsersEntry(L"D:(A;;FA;;;SY)(A;ID;FA;;;BA)(A;;FR;;;BU)"),
              L"D:(A;;FA;;;SY)(A;OICI;GA;;;BU)(A;ID;FA;;;BA)(A;;FR;;;BU)");
    EXPECT_EQ(WithUsersEntry(L"D:"), L"D:(A;OICI;GA;;;BU)");
    EXPECT_EQ(WithUsersEntry(nullptr), L"D:(A;OICI;GA;;;BU)");
}

// Wine keeps no access lists on files: it answers with one made from the Unix mode and
// turns a stored one into a mode, from its entries for the owner and Everyone alone. The
// Users entry cannot be read back there, but losing the path's other entries would show.
TEST(UsersAccessTest, GrantKeepsTheEntriesThePathHad) {
    TestFolder folder;
    WriteBytes(folder / L"f.txt", "f");
    for (const std::wstring& path : {folder / L"f.txt", folder.Path()}) {
        const std::wstring before = test::FileDaclText(path);
        ASSERT_FALSE(before.empty());
        EXPECT_EQ(GrantUsersAccess(path.c_str()), 1);
        const std::wstring after = test::FileDaclText(path);
        for (size_t open = before.find(L'('); open != std::wstring::npos; open = before.find(L'(', open + 1)) {
            const std::wstring entry = before.substr(open, before.find(L')', open) - open + 1);
            if (entry.find(L";BU)") != std::wstring::npos) continue;
            EXPECT_NE(after.find(entry), std::wstring::npos) << entry << L" is missing from " << after;
        }
    }

    testing::internal::CaptureStdout();
    EXPECT_EQ(GrantUsersAccess((folder / L"missing.txt").c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "GetFileSecurity() failed. Error 2\n");
}

}  // namespace
