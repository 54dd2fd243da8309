// The uninstall entry as the system's program list reads it, and the shortcuts as the shell
// reads them back.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/handles.h"
#include "install/install_steps.h"
#include "tests/install/install_run.h"

namespace {

using test::InstallRun;

// The uninstall entry

// The test is 32-bit like the program, so it reads the same view of HKLM\Software.
const wchar_t kEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\SrTestEntry";

// The value's text; "(missing)" when it is absent or not a REG_SZ.
std::wstring EntryValue(const wchar_t* name) {
    wchar_t text[600] = {};
    DWORD size = sizeof text;
    return RegGetValueW(HKEY_LOCAL_MACHINE, kEntry, name, RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS
               ? text
               : L"(missing)";
}

class UninstallEntryTest : public testing::Test {
protected:
    UninstallEntryTest() {
        test::DeleteRegTree(HKEY_LOCAL_MACHINE, kEntry);
        PACKAGECONFIG& package = m_run.Package();
        CopyCut(package.comments, L"五笔输入法");
        CopyCut(package.publisher, L"示例软件公司");
        CopyCut(package.version, L"2.0.1.7");
        CopyCut(package.contact, L"support@example.com");
        CopyCut(package.homePage, L"http://www.example.com/ime");
        CopyCut(package.helpPhone, L"010-12345678");
    }
    ~UninstallEntryTest() override { test::DeleteRegTree(HKEY_LOCAL_MACHINE, kEntry); }

    InstallRun m_run{L"SrTestEntry"};
};

TEST_F(UninstallEntryTest, WritesTheSeventeenValuesWithTheirTextsAndFindsTheSource) {
    InstallRun::Set(m_run.State().commandLine, L"-x file=Z:\\setups\\输入法安装.exe] -y name=[x]");
    EXPECT_EQ(WriteUninstallEntry(L"张三", L"", m_run.Context()), 1);

    const std::wstring system = test::SystemFolderOnDisk();
    const std::wstring folder = m_run.Installed();
    const std::vector<std::pair<const wchar_t*, std::wstring>> expected = {
        {L"RegOwner", L"张三"},
        {L"RegCompany", L""},
        {L"DisplayName", L"SrTestEntry"},
        {L"Comments", L"五笔输入法"},
        {L"DisplayVersion", L"2.0.1.7"},
        {L"DisplayIcon", system + L"\\SrTestEntry.ime"},
        {L"Contact", L"support@example.com"},
        {L"Publisher", L"示例软件公司"},
        {L"URLInfoAbout", L"http://www.example.com/ime?id=1"},
        {L"URLUpdateInfo", L"http://www.example.com/ime?id=2"},
        {L"HelpLink", folder + L"_main_.chm"},
        {L"HelpTelephone", L"010-12345678"},
        {L"UninstallString", L"\"" + folder + L"Unstall.exe\" -u name=[SrTestEntry]"},
        {L"InstallLocation", folder},
        {L"InstallSource", L"Z:\\setups\\输入法安装.exe"},
        {L"ModifyPath", L"\"" + folder + L"Unstall.exe\" -r name=[SrTestEntry]"},
        {L"QuietUninstallString", L"\"" + folder + L"Unstall.exe\" -u name=[SrTestEntry] /S"},
    };
    for (const auto& value : expected) EXPECT_EQ(EntryValue(value.first), value.second) << value.first;
    EXPECT_STREQ(m_run.State().commandLine, L"-x file=Z:\\setups\\输入法安装.exe");

    // And nothing else. Wine keeps a key's values sorted by name, so the order in which
    // they were written cannot be read back here.
    fw::RegKey key;
    DWORD count = 0;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kEntry, KEY_READ));
    RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                     nullptr, nullptr);
    EXPECT_EQ(count, expected.size());

    // Without "file=" the source is the running program.
    InstallRun::Set(m_run.State().commandLine, L"-r name=[SrTestEntry]");
    EXPECT_EQ(WriteUninstallEntry(L"张三", L"", m_run.Context()), 1);
    EXPECT_EQ(EntryValue(L"InstallSource"), m_run.State().ownPath);
}

// Shortcuts

std::wstring SpecialFolder(int csidl) { return test::ShellFolder(csidl) + L'\\'; }

// "target|arguments|description|working folder|icon,index" as the shell reads the link.
std::wstring ReadLink(const std::wstring& path) {
    CoInitialize(nullptr);
    fw::ComPointer<IShellLinkW> link;
    fw::ComPointer<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.Receive())) || FAILED(file->Load(path.c_str(), STGM_READ))) {
        return L"(unreadable)";
    }
    wchar_t target[MAX_PATH] = {}, arguments[INFOTIPSIZE] = {}, description[INFOTIPSIZE] = {};
    wchar_t folder[MAX_PATH] = {}, icon[MAX_PATH] = {};
    int index = -1;
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(arguments, INFOTIPSIZE);
    link->GetDescription(description, INFOTIPSIZE);
    link->GetWorkingDirectory(folder, MAX_PATH);
    link->GetIconLocation(icon, MAX_PATH, &index);
    return std::wstring(target) + L'|' + arguments + L'|' + description + L'|' + folder + L'|' + icon + L',' +
           std::to_wstring(index);
}

class ShortcutsTest : public testing::Test {
protected:
    ShortcutsTest() {
        CreateDirectoryW(m_run.Installed().c_str(), nullptr);
        for (const wchar_t* file : {L"config.exe", L"_main_.chm", L"unstall.exe"}) {
            test::WriteBytes(m_run.Installed(file), "placed");
        }
        Clean();
    }
    ~ShortcutsTest() override { Clean(); }
    void Clean() {
        test::RemoveTree(m_group);
        DeleteFileW(m_desktopLink.c_str());
    }

    InstallRun m_run{L"SrTestLinks"};
    const std::wstring m_group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"SrTestLinks\\";
    // Wine links the desktop folder to the Linux home folder.
    const std::wstring m_desktopLink = SpecialFolder(CSIDL_DESKTOPDIRECTORY) + L"SrTestLinks1.系统设置.lnk";
};

TEST_F(ShortcutsTest, TwoRunsMakeTheSameNineLinksAndTheDesktopLink) {
    // A file to open that is missing fails in the shell, silently and without a window.
    InstallRun::Set(m_run.Package().openFile, L"missing\\readme.txt");
    EXPECT_EQ(CreateShortcuts(m_run.Context()), 1);
    test::WriteBytes(m_group + L"1.系统设置.lnk", "not a link");
    EXPECT_EQ(CreateShortcuts(m_run.Context()), 1);

    const wchar_t* const kLinks[][4] = {
        {L"1.系统设置.lnk", L"config.exe", L"/n 'SrTestLinks'", L"SrTestLinks 输入法使用配置程序"},
        {L"2.码表管理.lnk", L"config.exe", L"/n 'SrTestLinks' /do mabiaoguanli", L"SrTestLinks 输入法码表管理"},
        {L"3.添加用户词.lnk", L"config.exe", L"/n 'SrTestLinks' /do tianjiayonghuci", L"SrTestLinks 输入法用户词添加"},
        {L"4.按键功能定义.lnk", L"config.exe", L"/n 'SrTestLinks' /do anjianshezhi", L"SrTestLinks 输入法按键功能设置"},
        {L"5.构词规则.lnk", L"config.exe", L"/n 'SrTestLinks' /do gouciguize", L"SrTestLinks 输入法构词规则定义"},
        {L"6.帮助文件.lnk", L"_main_.chm", L"", L"SrTestLinks软件详细帮助文档"},
        {L"检查更新.lnk", L"Unstall.exe", L"-g name=[SrTestLinks]", L"SrTestLinks自动更新系统"},
        {L"修复安装.lnk", L"Unstall.exe", L"-r name=[SrTestLinks]", L"SrTestLinks软件修复系统"},
        {L"卸载软件.lnk", L"Unstall.exe", L"-u name=[SrTestLinks]", L"SrTestLinks卸载程序"},
    };
    const std::wstring folder = m_run.Installed();
    auto expected = [&](const wchar_t* const (&link)[4]) {
        return folder + link[1] + L'|' + link[2] + L'|' + link[3] + L'|' + folder + L'|' + folder + link[1] + L",0";
    };
    for (const auto& link : kLinks) EXPECT_EQ(ReadLink(m_group + link[0]), expected(link)) << link[0];
    EXPECT_EQ(ReadLink(m_desktopLink), expected(kLinks[0]));

    int files = 0;
    WIN32_FIND_DATAW found;
    fw::FindHandle search(FindFirstFileW((m_group + L"*").c_str(), &found));
    for (BOOL more = search.Valid(); more; more = FindNextFileW(search.Get(), &found)) {
        files += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    EXPECT_EQ(files, 9);
}

TEST_F(ShortcutsTest, ALinkThatCannotBeSavedIsReportedAndTheOthersAreStillMade) {
    // A file where the group's folder belongs: no link can be saved into it.
    const std::wstring inTheWay = m_group.substr(0, m_group.size() - 1);
    test::WriteBytes(inTheWay, "in the way");
    EXPECT_EQ(CreateShortcuts(m_run.Context()), 0);
    EXPECT_NE(ReadLink(m_desktopLink), L"(unreadable)") << "the desktop link is made all the same";
    DeleteFileW(inTheWay.c_str());
}

// The file to open is a program here, which leaves a mark when the shell starts it.
TEST_F(ShortcutsTest, TheFileToOpenIsOpenedOnlyWhenSomeoneWatches) {
    const std::wstring program = m_run.Installed(L"open.exe");
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrOpenMark.exe").c_str(), program.c_str(), FALSE));
    InstallRun::Set(m_run.Package().openFile, L"open.exe");
    const std::wstring mark = m_run.Installed(L"opened.txt");
    auto markWithin = [&](DWORD timeoutMs) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(100)) {
            if (test::Exists(mark)) return true;
        }
        return test::Exists(mark);
    };

    ASSERT_FALSE(m_run.Context().watched) << "as in an unattended run";
    EXPECT_EQ(CreateShortcuts(m_run.Context()), 1);
    EXPECT_FALSE(markWithin(5000)) << "an unattended run opened the file";

    m_run.Context().watched = true;
    EXPECT_EQ(CreateShortcuts(m_run.Context()), 1);
    EXPECT_TRUE(markWithin(20000)) << "the wizard's run opens it";
}

}  // namespace
