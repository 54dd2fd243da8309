// Whole update runs of the installed sample package against the loopback server: the dialog's
// rows and messages, the installed files afterwards, retry and exit.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "install/install_context.h"
#include "install/install_sequence.h"
#include "tests/harness/demo_installation.h"
#include "tests/harness/module_holder.h"
#include "tests/harness/run_driven.h"
#include "tests/harness/test_folder.h"
#include "tests/harness/ui_driver.h"
#include "tests/harness/update_server.h"
#include "update/update_dialog.h"

namespace {

using test::TestFolder;

constexpr int kPort = SR_TEST_SERVER_PORT;
const std::wstring kVendorKey = L"Software\\vexal\\Demo";

std::string Requests() { return test::Fetch(kPort, L"/_requests"); }

// Waits until the message list ends a run with "更新完毕"; false after a minute.
bool WaitForRunEnd(HWND dialog) {
    for (int i = 0; i < 600; ++i) {
        const std::vector<std::wstring> lines = test::ListLines(dialog, 1006);
        if (!lines.empty() && lines.back() == L"更新完毕") return true;
        Sleep(100);
    }
    return false;
}

// Waits until the server has been asked for `path`; false after a minute.
bool WaitForRequest(const std::string& path) {
    for (int i = 0; i < 600; ++i) {
        if (Requests().find(path) != std::string::npos) return true;
        Sleep(100);
    }
    return false;
}

// Every row of the component list, its columns joined by "|".
std::vector<std::wstring> Rows(HWND dialog) {
    fw::ListView list(GetDlgItem(dialog, 1011));
    std::vector<std::wstring> rows;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        std::wstring text;
        for (int column = 0; column < 5; ++column) text += (column ? L"|" : L"") + list.GetItemText(row, column);
        rows.push_back(text);
    }
    return rows;
}

std::string IconOf(const std::wstring& file) {
    HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    std::string bytes;
    if (HRSRC found = module ? FindResourceW(module, MAKEINTRESOURCEW(1), RT_ICON) : nullptr) {
        bytes.assign(static_cast<const char*>(LockResource(LoadResource(module, found))), SizeofResource(module, found));
    }
    if (module) FreeLibrary(module);
    return bytes;
}

std::wstring StringOf(const std::wstring& file, const wchar_t* name) {
    wchar_t text[256] = {};
    GetVersionString(file.c_str(), name, text, 256);
    return text;
}

// The sample package installed into a scratch folder, its catalogue naming the drivers
// "DemoIme", "DemoTable" and "DemoSkin", and its updates served by the loopback server.
class UpdateRunTest : public testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        ASSERT_TRUE(test::UnpackSamplePackage(m_folder / L"work\\", m_state, m_config));
        InstallContext context(m_state, nullptr, false);
        context.package = &m_config;
        ASSERT_EQ(RunInstall(context, (m_folder / L"Demo IME").c_str(), L"", L""), 1);
        m_install = context.installFolder;
        test::WriteCatalogue(L"Demo", L"DemoIme", L"DemoTable", L"DemoSkin");
        test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"UpdateServer", test::ServerAddress(kPort).c_str());
        m_ime = test::SystemFolder() + L"\\Demo(1).ime";
        m_imeBefore = test::ReadBytes(m_ime);
        ASSERT_FALSE(m_imeBefore.empty());
        test::Fetch(kPort, L"/_reset");
    }
    void TearDown() override {
        test::RemoveDemoInstallation();
    }

    // Opens the update dialog of "Demo", lets `drive` act on it, returns the dialog's result.
    INT_PTR Run(const std::function<void(HWND)>& drive) {
        CSR_AutoUpdateDlg dialog;
        dialog.SetPackageName(L"Demo");
        return test::RunDriven(dialog, drive);
    }
    // Runs the dialog through its first run; the rows and messages it showed at the end.
    void RunOnce() {
        Run([&](HWND w) {
            ASSERT_TRUE(WaitForRunEnd(w));
            m_rows = Rows(w);
            m_messages = test::ListLines(w, 1006);
            test::Click(w, IDCANCEL);
        });
    }

    TestFolder m_folder;
    RUNSTATE m_state{};
    PACKAGECONFIG m_config{};
    std::wstring m_install, m_ime;
    std::string m_imeBefore;
    std::vector<std::wstring> m_rows, m_messages;
};

TEST_F(UpdateRunTest, ANewerModuleIsDownloadedRebrandedAndReplacesTheInstalledOne) {
    test::PublishUpdateList(L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=2.3.4.5><CABURL=/cabs/ime.cab>\r\n"
                            L"<TYPE=IME_MAIN><NAME=OtherIme>\r\n");
    const std::string icon = IconOf(m_ime);
    RunOnce();
    EXPECT_EQ(m_rows, std::vector<std::wstring>{L"完成|1.0.0.1|2.3.4.5|IME驱动|DemoIme"});
    EXPECT_EQ(m_messages, (std::vector<std::wstring>{L"开始索拉驱动程序更新：", L"更新：DemoIme", L"更新完毕"}));
    EXPECT_EQ(Requests(), "/_supports/srime_drives/UpdateList.txt\n/cabs/ime.cab");
    EXPECT_EQ(GetFileVersion64(m_ime.c_str()), ParseVersion(L"2.3.4.5"));
    EXPECT_EQ(StringOf(m_ime, L"CompanyName"), L"示例输入法工作室");
    EXPECT_EQ(StringOf(m_ime, L"FileDescription"), L"Demo 输入法");
    EXPECT_EQ(StringOf(m_ime, L"ProductName"), L"Generic");  // the rest is the new file's
    EXPECT_EQ(IconOf(m_ime), icon);

    // The run worked in a folder of its own below the temporary folder, and removed it.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    WIN32_FIND_DATAW found;
    const HANDLE left = FindFirstFileW((std::wstring(temp) + L"SRIMEUpdate.*").c_str(), &found);
    EXPECT_EQ(left, INVALID_HANDLE_VALUE) << found.cFileName;
    if (left != INVALID_HANDLE_VALUE) FindClose(left);
}

TEST_F(UpdateRunTest, AnOfferNoNewerThanTheInstalledFileIsDoneWithoutDownload) {
    test::PublishUpdateList(L"<TYPE=IME_MAIN><NAME=demoime><VERSION=1.0.0.1><CABURL=/cabs/ime.cab>\r\n"
                            L"<VERSION=0.9.0.0>\r\n");
    RunOnce();
    EXPECT_EQ(m_rows, (std::vector<std::wstring>{L"完成|1.0.0.1|1.0.0.1|IME驱动|DemoIme",
                                                 L"完成|1.0.0.1|0.9.0.0|IME驱动|DemoIme"}));
    EXPECT_EQ(Requests(), "/_supports/srime_drives/UpdateList.txt");
    EXPECT_EQ(test::ReadBytes(m_ime), m_imeBefore);
}

TEST_F(UpdateRunTest, ACabinetTheServerDoesNotHaveFailsItsRowAndTheRunGoesOn) {
    // The third announces more than a cabinet may have, and is refused before it is read.
    test::PublishUpdateList(L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=9.0.0.0><CABURL=/404/ime.cab>\r\n"
                            L"<TYPE=SKIN_DRIVE><NAME=DemoSkin><VERSION=9.0.0.0><CABURL=/short/cabs/skin.cab>\r\n"
                            L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=9.0.0.0><CABURL=/huge/ime.cab>\r\n");
    RunOnce();
    EXPECT_EQ(m_rows, (std::vector<std::wstring>{L"失败|1.0.0.1|9.0.0.0|IME驱动|DemoIme",
                                                 L"失败|0.0.0.0|9.0.0.0|界面驱动|DemoSkin",
                                                 L"失败|1.0.0.1|9.0.0.0|IME驱动|DemoIme"}));
    EXPECT_EQ(m_messages, (std::vector<std::wstring>{L"开始索拉驱动程序更新：", L"更新：DemoIme",
                                                     L"　　下载DemoIme 失败", L"更新：DemoSkin",
                                                     L"　　下载DemoSkin 失败", L"更新：DemoIme",
                                                     L"　　下载DemoIme 失败", L"更新完毕"}));
    EXPECT_EQ(test::ReadBytes(m_ime), m_imeBefore);
    EXPECT_FALSE(test::Exists(m_install + L"skin.dll"));
}

TEST_F(UpdateRunTest, ACabinetThatCannotBeUnpackedLacksTheFileOrHoldsAnUnbrandableOneFailsItsRow) {
    test::Publish(L"/cabs/garbage.cab", "MSCF but no cabinet at all");
    // The third cabinet holds no "DemoIme.ime": the one the second left behind must not be taken.
    test::PublishUpdateList(L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=9.0.0.0><CABURL=/cabs/garbage.cab>\r\n"
                            L"<CABURL=/cabs/bare.cab>\r\n<CABURL=/cabs/skin.cab>\r\n");
    RunOnce();
    EXPECT_EQ(m_rows, std::vector<std::wstring>(3, L"失败|1.0.0.1|9.0.0.0|IME驱动|DemoIme"));
    EXPECT_EQ(m_messages,
              (std::vector<std::wstring>{L"开始索拉驱动程序更新：", L"更新：DemoIme", L"  解压文件失败！", L"更新：DemoIme",
                                         L"  替换文件资源信息失败！", L"更新：DemoIme", L"  解压文件失败！", L"更新完毕"}));
    EXPECT_EQ(test::ReadBytes(m_ime), m_imeBefore);
}

TEST_F(UpdateRunTest, ASkinNamedTwiceGetsTwoRowsAndKeepsItsBitmaps) {
    // The installed skin driver: a module with bitmaps 103 and 104 of its own.
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrInstalledModule.dll").c_str(), (m_install + L"skin.dll").c_str(), FALSE));
    test::PublishUpdateList(L"<TYPE=SKIN_DRIVE><NAME=DemoSkin><VERSION=2.0.0.0><CABURL=/cabs/skin.cab>\r\n"
                            L"<TYPE=SKIN_DRIVE><NAME=DemoSkin><VERSION=2.3.4.5><CABURL=/cabs/skin.cab>\r\n");
    RunOnce();
    EXPECT_EQ(m_rows, (std::vector<std::wstring>{L"完成|1.0.0.1|2.0.0.0|界面驱动|DemoSkin",
                                                 L"完成|1.0.0.1|2.3.4.5|界面驱动|DemoSkin"}));
    EXPECT_EQ(Requests(), "/_supports/srime_drives/UpdateList.txt\n/cabs/skin.cab\n/cabs/skin.cab");
    const std::wstring skin = m_install + L"skin.dll";
    EXPECT_EQ(GetFileVersion64(skin.c_str()), ParseVersion(L"2.3.4.5"));
    EXPECT_EQ(StringOf(skin, L"CompanyName"), L"示例输入法工作室");
}

TEST_F(UpdateRunTest, AModuleHeldByAnotherProcessIsNotReplaced) {
    test::PublishUpdateList(L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=2.3.4.5><CABURL=/cabs/ime.cab>\r\n");
    ZERAVIzider engine;
    std::vector<std::wstring> messages;
    engine.InitUpdate(nullptr, [](const UPDATEMSG& m, void* c) { static_cast<std::vector<std::wstring>*>(c)->push_back(m.text); },
                      &messages);
    ASSERT_EQ(engine.LoadUpdateList(L"Demo"), 1);
    ASSERT_EQ(engine.SelectComponents(), 1);
    test::Holder holder(m_ime);
    ASSERT_TRUE(holder.Ready());
    EXPECT_FALSE(engine.UpdateComponent(engine.Selected()[0]));
    EXPECT_EQ(messages.back(), L"  替换文件失败！");
    EXPECT_EQ(test::ReadBytes(m_ime), m_imeBefore);
}

// Components go one by one: the skin replaced first stays replaced when the module after it
// cannot be, and the module is left byte for byte as it was; no journal stays behind.
TEST_F(UpdateRunTest, AComponentThatCannotBeReplacedStaysAsItWasAndTheOnesBeforeItStayReplaced) {
    test::PublishUpdateList(L"<TYPE=SKIN_DRIVE><NAME=DemoSkin><VERSION=2.3.4.5><CABURL=/cabs/skin.cab>\r\n"
                            L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=2.3.4.5><CABURL=/cabs/ime.cab>\r\n");
    ZERAVIzider engine;
    engine.InitUpdate(nullptr, nullptr, nullptr);
    ASSERT_EQ(engine.LoadUpdateList(L"Demo"), 2);
    ASSERT_EQ(engine.SelectComponents(), 2);
    const std::wstring skin = m_install + L"skin.dll";
    ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrInstalledModule.dll").c_str(), skin.c_str(), FALSE));
    // Held without sharing, as a scanner or a backup tool may hold it: it cannot even be read.
    HANDLE held = CreateFileW(m_ime.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const bool skinDone = engine.UpdateComponent(engine.Selected()[0]);
    const bool imeDone = engine.UpdateComponent(engine.Selected()[1]);
    CloseHandle(held);
    EXPECT_TRUE(skinDone);
    EXPECT_FALSE(imeDone);
    EXPECT_EQ(GetFileVersion64(skin.c_str()), ParseVersion(L"2.3.4.5"));
    EXPECT_EQ(test::ReadBytes(m_ime), m_imeBefore);

    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((test::ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SRIMEJournal.*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST_F(UpdateRunTest, AHolderOfTheModuleIsAskedAboutBeforeAnyDownload) {
    test::PublishUpdateList(L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=2.3.4.5><CABURL=/cabs/ime.cab>\r\n");
    test::Holder holder(m_ime);
    ASSERT_TRUE(holder.Ready());
    const INT_PTR result = Run([&](HWND) {
        HWND status = test::WaitForWindow(0, L"输入法载入状态");
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(Requests(), "");
        test::Click(status, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Requests(), "");
}

TEST_F(UpdateRunTest, RetryDuringARunDoesNothingAndAfterItStartsAfresh) {
    test::PublishUpdateList(L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=2.3.4.5><CABURL=/stall/cabs/ime.cab>\r\n");
    Run([&](HWND w) {
        ASSERT_TRUE(WaitForRequest("/stall/cabs/ime.cab"));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, IDOK)));
        SendMessageW(w, WM_COMMAND, IDOK, 0);  // the Enter key
        ASSERT_TRUE(WaitForRunEnd(w));
        EXPECT_EQ(Rows(w), std::vector<std::wstring>{L"失败|1.0.0.1|2.3.4.5|IME驱动|DemoIme"});
        EXPECT_EQ(test::TakeRequests(kPort), "/_supports/srime_drives/UpdateList.txt\n/stall/cabs/ime.cab");

        test::PublishUpdateList(L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=2.3.4.5><CABURL=/cabs/ime.cab>\r\n");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w, IDOK)));
        test::Click(w, IDOK);
        ASSERT_TRUE(WaitForRunEnd(w));
        EXPECT_EQ(Rows(w), std::vector<std::wstring>{L"完成|1.0.0.1|2.3.4.5|IME驱动|DemoIme"});
        EXPECT_EQ(test::ListLines(w, 1006),
                  (std::vector<std::wstring>{L"开始索拉驱动程序更新：", L"更新：DemoIme", L"更新完毕"}));
        EXPECT_EQ(Requests(), "/_supports/srime_drives/UpdateList.txt\n/cabs/ime.cab");
        test::Click(w, IDCANCEL);
    });
    EXPECT_EQ(GetFileVersion64(m_ime.c_str()), ParseVersion(L"2.3.4.5"));
}

TEST_F(UpdateRunTest, ExitDuringARunClosesOnlyOnceTheWorkerHasStopped) {
    test::PublishUpdateList(L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=2.3.4.5><CABURL=/stall/cabs/ime.cab>\r\n"
                            L"<TYPE=SKIN_DRIVE><NAME=DemoSkin><VERSION=2.3.4.5><CABURL=/cabs/skin.cab>\r\n");
    const INT_PTR result = Run([&](HWND w) {
        ASSERT_TRUE(WaitForRequest("/stall/cabs/ime.cab"));
        test::Click(w, IDCANCEL);
        // Still shown, its buttons disabled, while the worker finishes its download.
        EXPECT_TRUE(IsWindowVisible(w));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, IDOK)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, IDCANCEL)));
        EXPECT_TRUE(test::WaitUntilGone(w, 60000));
    });
    EXPECT_EQ(result, IDCANCEL);
    // The worker stopped before the next component.
    EXPECT_EQ(Requests(), "/_supports/srime_drives/UpdateList.txt\n/stall/cabs/ime.cab");
    EXPECT_FALSE(test::Exists(m_install + L"skin.dll"));
    EXPECT_EQ(test::ReadBytes(m_ime), m_imeBefore);
}

TEST_F(UpdateRunTest, TheDialogShowsItsColumnsAndTheDownloadProgressInTheSelectedRow) {
    test::PublishUpdateList(L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=1.0.0.1>\r\n");
    Run([&](HWND w) {
        ASSERT_TRUE(WaitForRunEnd(w));
        EXPECT_EQ(test::TextOf(w), L"Demo - 更新程序");
        fw::ListView list(GetDlgItem(w, 1011));
        EXPECT_EQ(list.GetColumnCount(), 5);
        EXPECT_EQ(list.GetExtendedStyle() & 0x8020, 0x8020u);
        EXPECT_EQ(list.GetSelected(), 0);
        auto* dialog = static_cast<CSR_AutoUpdateDlg*>(reinterpret_cast<fw::Dialog*>(GetWindowLongPtrW(w, DWLP_USER)));
        for (const auto& [bytes, text] : std::vector<std::pair<int, std::wstring>>{
                 {10240, L"10240 B"}, {10241, L"10 KB"}, {1048576, L"1024 KB"}, {0, L"1024 KB"}}) {
            CSR_AutoUpdateDlg::ShowDownloadProgress({nullptr, bytes}, dialog);
            EXPECT_EQ(list.GetItemText(0, 0), text) << bytes;
        }
        test::Click(w, IDCANCEL);
    });
}

}  // namespace
