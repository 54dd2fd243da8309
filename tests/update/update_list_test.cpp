// The update list: tags, parsing, the installed package's folder and catalogue, and the
// download from the loopback server that ctest starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/harness/test_folder.h"
#include "tests/harness/update_server.h"
#include "update/server_address.h"
#include "update/update_engine.h"

namespace {

using test::TestFolder;

constexpr int kPort = SR_TEST_SERVER_PORT;
constexpr wchar_t kPackage[] = L"UpdList";
const std::wstring kVendorKey = L"Software\\vexal\\UpdList";

// The messages an engine sends, collected.
struct Messages {
    std::vector<std::wstring> lines;
    std::vector<int> progress;
    static void OnMessage(const UPDATEMSG& m, void* context) { static_cast<Messages*>(context)->lines.push_back(m.text); }
    static void OnProgress(const UPDATEMSG& m, void* context) { static_cast<Messages*>(context)->progress.push_back(m.number); }
};


TEST(ScanTagTest, SplitsKeyAndValueAtTheFirstEquals) {
    wchar_t key[128], value[512];
    EXPECT_EQ(ScanTag(L"xx<TYPE=a=b>rest", key, value), 12);
    EXPECT_STREQ(key, L"TYPE");
    EXPECT_STREQ(value, L"a=b");
    EXPECT_EQ(ScanTag(L"<NAME>", key, value), 6);
    EXPECT_STREQ(key, L"NAME");
    EXPECT_STREQ(value, L"auto");
    EXPECT_EQ(ScanTag(L"no tag here", key, value), 0);
    EXPECT_EQ(ScanTag(L"<unclosed", key, value), 0);
    EXPECT_EQ(ScanTag(L"> <", key, value), 0);
}

TEST(ScanTagTest, LongKeysAndValuesAreCut) {
    wchar_t key[128], value[512];
    const std::wstring text = L"<" + std::wstring(200, L'k') + L"=" + std::wstring(600, L'v') + L">";
    EXPECT_EQ(ScanTag(text.c_str(), key, value), static_cast<int>(text.size()));
    EXPECT_EQ(std::wstring(key), std::wstring(127, L'k'));
    EXPECT_EQ(std::wstring(value), std::wstring(511, L'v'));
}

TEST(ParseUpdateListTest, ALineKeepsTheFieldsItLeavesOutFromTheLineBefore) {
    ZERAVIzider engine;
    const wchar_t text[] = L"<TYPE=SKIN_DRIVE><NAME=s1><VERSION=1.0.0.0><SAVEPATH=C:\\a\\skin.dll><CABURL=y>\r\n"
                           L"<TYPE=ime_main><NAME=abc><VERSION=2.0.1.5><CABURL=x>\r\n";
    ASSERT_EQ(engine.ParseUpdateList(text, static_cast<int>(wcslen(text))), 2);
    const UPDATEITEM& item = engine.UpdateList()[1];
    EXPECT_EQ(item.type, IME_MAIN);
    EXPECT_STREQ(item.name, L"abc");
    EXPECT_EQ(item.offeredVersion, 0x0002000000010005ull);
    EXPECT_STREQ(item.targetPath, L"C:\\a\\skin.dll");
    EXPECT_STREQ(item.cabinetUrl, L"x");
    EXPECT_EQ(item.installedVersion, 0u);
}

TEST(ParseUpdateListTest, UnknownKeysAreReportedOncePerTagAndTheLineStillCounts) {
    ZERAVIzider engine;
    Messages messages;
    engine.InitUpdate(nullptr, Messages::OnMessage, &messages);
    const wchar_t text[] = L"<TYPE=SME_DRIVE><NAME=t>\n<FOO=1><BAR>\n; a comment\n<NAME>\n";
    ASSERT_EQ(engine.ParseUpdateList(text, static_cast<int>(wcslen(text))), 4);
    EXPECT_EQ(messages.lines, std::vector<std::wstring>(2, L"未知的更新标识！"));
    EXPECT_STREQ(engine.UpdateList()[1].name, L"t");
    EXPECT_STREQ(engine.UpdateList()[2].name, L"t");  // the comment repeats the record before
    EXPECT_STREQ(engine.UpdateList()[3].name, L"auto");
    EXPECT_EQ(engine.UpdateList()[3].type, SME_DRIVE);
}

TEST(ParseUpdateListTest, BlankLinesGiveNoRecordsAndAShortRestIsNotALine) {
    ZERAVIzider engine;
    const wchar_t text[] = L"<NAME=a>\r\n\r\n\r\n<NAME=b>\r\n\r\n<a>";
    EXPECT_EQ(engine.ParseUpdateList(text, static_cast<int>(wcslen(text))), 2);
    EXPECT_EQ(engine.ParseUpdateList(L"", 0), 2);  // nothing added to what is there
}

// A package installed in a scratch folder, with its catalogue and the loopback server.
class InstalledPackageTest : public testing::Test {
protected:
    void SetUp() override {
        test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"SMEInstallPath", m_install.Path().c_str());
        test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"UpdateServer", test::ServerAddress(kPort).c_str());
        test::WriteCatalogue(kPackage, L"UpdIme", L"UpdTable", L"UpdSkin");
        ASSERT_TRUE(m_engine.InitUpdate(Messages::OnProgress, Messages::OnMessage, &m_messages));
    }
    void TearDown() override {
        test::DeleteRegTree(HKEY_CURRENT_USER, kVendorKey);
        test::DeleteRegTree(HKEY_LOCAL_MACHINE, kVendorKey);
        wchar_t folder[MAX_PATH];
        GetPackageDataFolder(folder, kPackage);
        test::RemoveTree(folder);
    }
    static std::wstring CatalogueFile() {
        wchar_t folder[MAX_PATH];
        GetPackageDataFolder(folder, kPackage);
        return std::wstring(folder) + L"config.dsc";
    }

    TestFolder m_install;
    ZERAVIzider m_engine;
    Messages m_messages;
};

TEST_F(InstalledPackageTest, TheListIsDownloadedFromTheServerAndParsed) {
    test::PublishUpdateList(L"<TYPE=IME_MAIN><NAME=UpdIme><VERSION=1.0.0.2><CABURL=/c/ime.cab>\r\n"
                            L"<TYPE=SKIN_DRIVE><NAME=UpdSkin>\r\n");
    test::TakeRequests(kPort);
    ASSERT_EQ(m_engine.LoadUpdateList(kPackage), 2);
    EXPECT_EQ(test::TakeRequests(kPort), "/_supports/srime_drives/UpdateList.txt");
    EXPECT_STREQ(m_engine.InstallFolder(), m_install.Path().c_str());
    EXPECT_STREQ(m_engine.ImeDriver(), L"UpdIme");
    EXPECT_STREQ(m_engine.TableDriver(), L"UpdTable");
    EXPECT_STREQ(m_engine.SkinDriver(), L"UpdSkin");
    EXPECT_EQ(m_engine.UpdateList()[1].type, SKIN_DRIVE);
    EXPECT_EQ(m_engine.UpdateList()[1].offeredVersion, 0x0001000000000002ull);
    EXPECT_TRUE(m_messages.lines.empty());
    // A second run starts from an empty list.
    EXPECT_EQ(m_engine.LoadUpdateList(kPackage), 2);
}

TEST_F(InstalledPackageTest, SelectionTakesThePackagesOwnComponentsWithTheirInstalledFiles) {
    CopyFileW(test::ProgramBeside(L"SrInstalledModule.dll").c_str(), (m_install / L"skin.dll").c_str(), FALSE);
    test::PublishUpdateList(L"<TYPE=SKIN_DRIVE><NAME=updskin><VERSION=2.0.0.0><CABURL=http://h/s.cab>\n"
                            L"<TYPE=SME_DRIVE><NAME=UpdTable>\n<TYPE=IME_MAIN><NAME=UpdIme>\n"
                            L"<TYPE=CONFIG_DRIVE><NAME=_config_>\n<TYPE=INSTALLBASE_DRIVE><NAME=_install_base_>\n"
                            L"<TYPE=IME_MAIN><NAME=OtherIme>\n<TYPE=UPDATE><NAME=UpdIme>\n<TYPE=BOGUS><NAME=x>\n");
    ASSERT_EQ(m_engine.LoadUpdateList(kPackage), 8);
    ASSERT_EQ(m_engine.SelectComponents(), 5);
    const std::vector<UPDATEITEM>& chosen = m_engine.Selected();
    EXPECT_STREQ(chosen[0].targetPath, (m_install / L"skin.dll").c_str());
    EXPECT_STREQ(chosen[0].name, L"UpdSkin");  // the catalogue's spelling
    EXPECT_EQ(chosen[0].installedVersion, 0x0001000000000001ull);
    EXPECT_EQ(chosen[0].offeredVersion, 0x0002000000000000ull);
    EXPECT_STREQ(chosen[0].cabinetUrl, L"http://h/s.cab");
    EXPECT_STREQ(chosen[1].targetPath, (m_install / L"mb.dll").c_str());
    EXPECT_EQ(chosen[1].installedVersion, 0u);  // no such file
    EXPECT_STREQ(chosen[2].targetPath, (test::SystemFolder() + L"\\UpdList(1).ime").c_str());
    EXPECT_STREQ(chosen[3].targetPath, (m_install / L"config.exe").c_str());
    EXPECT_STREQ(chosen[4].targetPath, (m_install / L"unstall.exe").c_str());
    EXPECT_EQ((ExtractedFileName(chosen[0])), L"UpdSkin.dll");
    EXPECT_EQ((ExtractedFileName(chosen[2])), L"UpdIme.ime");
    EXPECT_EQ((ExtractedFileName(chosen[4])), L"_install_base_.exe");
    EXPECT_EQ(m_messages.lines, std::vector<std::wstring>{L"开始索拉驱动程序更新："});
}

TEST_F(InstalledPackageTest, AListTheServerDoesNotHaveIsADownloadFailure) {
    test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"UpdateServer", (test::ServerAddress(kPort) + L"/404").c_str());
    EXPECT_EQ(m_engine.LoadUpdateList(kPackage), 0);
    // A value with a path is no server address: the built-in one is asked, and not reached.
    test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"UpdateServer", nullptr);
    EXPECT_EQ(m_engine.LoadUpdateList(kPackage), 0);
    EXPECT_EQ(m_messages.lines, std::vector<std::wstring>(2, L"下载索拉输入系统更新信息失败！"));
}

// A list of a few hundred bytes a component: one of megabytes is no list, and is refused
// before the worker spends its memory on it.
TEST_F(InstalledPackageTest, AListLargerThanItsBoundIsRefused) {
    std::wstring text;
    const std::wstring line = L"<TYPE=IME_MAIN><NAME=UpdIme><VERSION=9.0.0.0><CABURL=/cabs/ime.cab>\r\n";
    while (text.size() <= kMaxUpdateListBytes) text += line;
    test::PublishUpdateList(text);
    EXPECT_EQ(m_engine.LoadUpdateList(kPackage), 0);
    EXPECT_TRUE(m_engine.UpdateList().empty());
    EXPECT_EQ(m_messages.lines, std::vector<std::wstring>{L"下载索拉输入系统更新信息失败！"});
    test::PublishUpdateList(line);
    EXPECT_EQ(m_engine.LoadUpdateList(kPackage), 1);
}

TEST_F(InstalledPackageTest, ACatalogueWithoutTheDefaultEntryOrWithNoneFails) {
    test::WriteBytes(CatalogueFile(), test::CatalogueBytes({{L"other", L"a", L"b", L"c"}}));
    EXPECT_EQ(m_engine.LoadUpdateList(kPackage), 0);
    test::WriteBytes(CatalogueFile(), std::string(4, '\0'));
    EXPECT_EQ(m_engine.LoadUpdateList(kPackage), 0);
    // An offset beyond the file's end is not followed.
    test::WriteBytes(CatalogueFile(), std::string("\x01\0\0\0\xFF\xFF\0\0", 8));
    EXPECT_EQ(m_engine.LoadUpdateList(kPackage), 0);
    DeleteFileW(CatalogueFile().c_str());
    EXPECT_EQ(m_engine.LoadUpdateList(kPackage), 0);
    EXPECT_EQ(m_messages.lines, std::vector<std::wstring>(4, L"无法获取指定名称的输入法的配置信息"));
}

TEST_F(InstalledPackageTest, APackageWithoutInstallPathIsNamedAndAnEmptyNameSaysNothing) {
    test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"SMEInstallPath", nullptr);
    EXPECT_EQ(m_engine.LoadUpdateList(kPackage), 0);
    EXPECT_EQ(m_engine.LoadUpdateList(L""), 0);
    EXPECT_EQ(m_engine.LoadUpdateList(nullptr), 0);
    EXPECT_EQ(m_messages.lines, std::vector<std::wstring>{L"无法获取指定名称的输入法安装目录"});
}

// The updater runs elevated and writes into the folder: a value that any process of the user
// can set must not choose it.
TEST_F(InstalledPackageTest, TheInstallPathIsTheMachinesWithABackslashAndNeverTheUsers) {
    wchar_t folder[MAX_PATH];
    test::SetRegString(HKEY_CURRENT_USER, kVendorKey, L"SMEInstallPath", L"D:\\User");
    test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"SMEInstallPath", L"D:\\Machine");
    ASSERT_TRUE(GetInstallPath(kPackage, folder));
    EXPECT_STREQ(folder, L"D:\\Machine\\");
    test::DeleteRegTree(HKEY_LOCAL_MACHINE, kVendorKey);
    EXPECT_FALSE(GetInstallPath(kPackage, folder)) << "the user's value alone";
}

// Any process of the user can write the user's own value; the server chooses what the
// elevated updater installs, so only the machine's value counts.
TEST_F(InstalledPackageTest, TheServerIsTheMachinesValueThenTheBuiltInOneAndNeverTheUsers) {
    wchar_t server[128];
    GetUpdateServer(kPackage, server, 128);
    EXPECT_EQ(std::wstring(server), test::ServerAddress(kPort));
    test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"UpdateServer", L"https://mirror.example.org:8443/");
    test::SetRegString(HKEY_CURRENT_USER, kVendorKey, L"UpdateServer", L"http://127.0.0.1:1");
    GetUpdateServer(kPackage, server, 128);
    EXPECT_STREQ(server, L"https://mirror.example.org:8443");
    test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"UpdateServer", nullptr);
    GetUpdateServer(kPackage, server, 128);
    EXPECT_STRNE(server, L"http://127.0.0.1:1");
    EXPECT_EQ(std::wstring(server).rfind(L"https://", 0), 0u);
    test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"UpdateServer", L"http://host:port");
    GetUpdateServer(kPackage, server, 128);
    EXPECT_EQ(std::wstring(server).rfind(L"https://", 0), 0u);
    EXPECT_EQ(std::wstring(server).find(L"127.0.0.1"), std::wstring::npos);
}

class DownloadTest : public testing::Test {
protected:
    void SetUp() override {
        m_engine.InitUpdate(Messages::OnProgress, Messages::OnMessage, &m_messages);
        test::Publish(L"/files/data.bin", m_body);
    }
    bool Download(const wchar_t* path) {
        return m_engine.DownloadFile((test::ServerAddress(kPort) + path).c_str(), Target().c_str());
    }
    std::wstring Target() const { return m_folder / L"data.bin"; }

    std::string m_body = std::string(3000, 'x') + std::string(2000, 'y');
    TestFolder m_folder;
    ZERAVIzider m_engine;
    Messages m_messages;
};

TEST_F(DownloadTest, AWholeBodyIsWrittenAndCountedInChunks) {
    test::WriteBytes(Target(), "an older file");
    const uint32_t before = m_engine.DownloadedBytes();
    ASSERT_TRUE(Download(L"/files/data.bin"));
    EXPECT_EQ(test::ReadBytes(Target()), m_body);
    EXPECT_EQ(m_engine.DownloadedBytes() - before, 5000u);
    ASSERT_EQ(m_messages.progress.size(), 10u);  // 511 bytes a chunk
    EXPECT_EQ(static_cast<uint32_t>(m_messages.progress.back()), before + 5000);
}

TEST_F(DownloadTest, AnAnswerOtherThan200IsAFailureAndLeavesNoFile) {
    test::WriteBytes(Target(), "an older file");
    EXPECT_FALSE(Download(L"/404/files/data.bin"));
    EXPECT_FALSE(test::Exists(Target()));
    EXPECT_FALSE(m_engine.DownloadFile(L"http://127.0.0.1:1/x", Target().c_str()));
}

TEST_F(DownloadTest, ABodyShorterThanAnnouncedIsAFailure) {
    EXPECT_FALSE(Download(L"/short/files/data.bin"));
    EXPECT_FALSE(test::Exists(Target()));
}

// Wine's WinINet does not apply the receive timeout here, so the server drops the stalled
// transfer itself; on Windows the timeout ends it first.
TEST_F(DownloadTest, AServerThatStallsThenDropsFailsTheDownload) {
    m_engine.SetReceiveTimeout(1000);
    EXPECT_FALSE(Download(L"/stall/files/data.bin"));
    EXPECT_FALSE(test::Exists(Target()));
}

TEST_F(DownloadTest, AStopRequestEndsTheDownload) {
    m_engine.RequestStop();
    EXPECT_FALSE(Download(L"/files/data.bin"));
    EXPECT_FALSE(test::Exists(Target()));
    m_engine.ClearStop();
    EXPECT_TRUE(Download(L"/files/data.bin"));
}

}  // namespace
