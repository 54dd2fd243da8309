// The real program under Wine: the relaunch from the working copy, the mode dialogs, the
// split of an installer into the bare program and its payload, and the clean-up.
#include <gtest/gtest.h>

#include "payload/blowfish.h"
#include "payload/container.h"
#include "payload/payload_key.h"
#include "res/resource.h"
#include "tests/harness/process.h"
#include "tests/harness/program_run.h"
#include "tests/harness/ui_driver.h"

namespace {

using test::Utf8;

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && _wcsicmp(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

// The program copied into a folder whose name has a blank.
class StartupTest : public test::ProgramRunTest {
protected:
    void SetUp() override {
        ProgramRunTest::SetUp();
        CreateDirectoryW((m_folder / L"Abc Setup").c_str(), nullptr);
        m_program = test::ReadBytes(test::ProgramBeside(L"srinstallbase.exe"));
        ASSERT_GT(m_program.size(), 4096u);
    }

    // Writes the program, with `payload` appended at `offset` written into its header.
    std::wstring MakeSetup(const std::string& payload, DWORD offset) {
        std::string image = m_program;
        WritePayloadOffset(reinterpret_cast<BYTE*>(&image[0]), static_cast<DWORD>(image.size()), offset);
        m_bareProgram = image;
        test::WriteBytes(m_setup, image + payload);
        return m_setup;
    }

    HWND Start(const std::wstring& arguments, const wchar_t* title) { return OpenWindow(m_setup, arguments, title); }

    const std::wstring m_setup = m_folder / L"Abc Setup\\srinstallbase.exe";
    std::string m_program;
    std::string m_bareProgram;
};

TEST_F(StartupTest, UninstallModeRunsFromTheWorkingCopyWhichDeletesItself) {
    test::WriteBytes(m_setup, m_program);
    HWND dialog = Start(L"-u name=[Abc]", L"Abc - 卸载程序");
    ASSERT_TRUE(dialog);
    fw::UniqueHandle copy = test::ProcessOfWindow(dialog);
    ASSERT_TRUE(copy.Valid());
    EXPECT_TRUE(EndsWithNoCase(test::ImagePathOf(copy.Get()), L"\\__SRIMEInstall\\___temp.exe"))
        << Utf8(test::ImagePathOf(copy.Get()));
    EXPECT_TRUE(test::Exists(m_work + L"___temp.exe"));
    EXPECT_TRUE(EndsWithNoCase(test::CommandLineOf(copy.Get()), L" -u name=[Abc] file=" + m_setup))
        << Utf8(test::CommandLineOf(copy.Get()));
    EXPECT_EQ(test::ItemText(dialog, IDOK), L"卸载(&U)");

    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(test::WaitForExit(copy.Get()), 0u);
    EXPECT_TRUE(WorkingCopyGone()) << "the working copy did not delete itself";
    EXPECT_TRUE(test::Entries(m_work).empty());
    EXPECT_TRUE(test::Exists(m_setup)) << "the started program stays";
}

TEST_F(StartupTest, RepairAndUpdateModesOpenTheirDialogs) {
    test::WriteBytes(m_setup, m_program);
    const struct {
        const wchar_t* arguments;
        const wchar_t* title;
    } kModes[] = {{L"-r name=[Abc]", L"Abc - 修复程序"}, {L"/G name=[Abc]", L"Abc - 更新程序"}};
    for (const auto& mode : kModes) {
        HWND dialog = Start(mode.arguments, mode.title);
        ASSERT_TRUE(dialog) << Utf8(mode.title);
        EXPECT_EQ(EndWindow(dialog), 0u);
        EXPECT_TRUE(WorkingCopyGone());
    }
}

TEST_F(StartupTest, InstallModeSplitsTheProgramFromItsPayload) {
    std::string payload = "CRYP";
    for (int i = 0; i < 1000; ++i) payload.push_back(static_cast<char>(i * 7));
    MakeSetup(payload, static_cast<DWORD>(m_program.size()));

    // The payload is no cabinet: after the split the error page opens, with the parts on the disk.
    HWND page = Start(L"", L"输入法安装向导--->错误");
    ASSERT_TRUE(page);
    EXPECT_EQ(test::ReadBytes(m_work + L"unstall.exe"), m_bareProgram);
    EXPECT_EQ(test::ReadBytes(m_work + L"srinstallbaseexe.cab"), payload);
    EXPECT_FALSE(test::Exists(m_work + L"srinstallbaseexe.tmp"));

    EXPECT_EQ(EndWindow(page, [](HWND w) { test::Click(w, IDOK); }), 0u);
    EXPECT_FALSE(test::Exists(m_work + L"unstall.exe"));
    EXPECT_FALSE(test::Exists(m_work + L"srinstallbaseexe.cab"));
}

TEST_F(StartupTest, InstallModeWithoutAValidPayloadOffsetShowsTheErrorPageAndSplitsNothing) {
    const DWORD size = static_cast<DWORD>(m_program.size());
    for (DWORD offset : {DWORD(0), size + 100}) {
        MakeSetup("CRYP-payload", offset);
        HWND page = Start(L"", L"输入法安装向导--->错误");
        ASSERT_TRUE(page) << offset;
        EXPECT_FALSE(test::Exists(m_work + L"unstall.exe"));
        EXPECT_FALSE(test::Exists(m_work + L"srinstallbaseexe.cab"));
        EXPECT_EQ(EndWindow(page, [](HWND w) { test::Click(w, IDOK); }), 0u);
    }
}

// The sample installer that the build makes with srpack.
class PackageStartTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        m_demo = test::ReadBytes(test::ProgramBeside(L"DemoSetup.exe"));
        m_offset = ReadPayloadOffset(reinterpret_cast<const BYTE*>(m_demo.data()), static_cast<DWORD>(m_demo.size()));
        ASSERT_EQ(m_offset, m_program.size());
    }

    // Starts the installer and returns the title of the page it opens, closing that page.
    std::wstring FirstPage(const std::string& installer) {
        test::WriteBytes(m_setup, installer);
        HWND page = OpenWindow(m_setup, L"", nullptr);
        for (DWORD start = GetTickCount(); page && test::TextOf(page).empty() && GetTickCount() - start < 5000;) {
            page = test::WaitForWindow(0, nullptr);
        }
        if (!page) return L"(none)";
        std::wstring title = test::TextOf(page);
        EXPECT_EQ(EndWindow(page, [](HWND w) { PostMessageW(w, WM_COMMAND, IDOK, 0); }), 0u);
        return title;
    }

    // The program with a crafted cabinet of the test data appended, enciphered as srpack does.
    std::string Installer(const wchar_t* cabinet) const {
        const std::string plain = test::ReadBytes(test::ProgramBeside(L"testdata\\cabinets\\") + cabinet);
        std::vector<uint8_t> payload(plain.begin(), plain.end());
        EXPECT_TRUE(EncipherContainer(payload));
        std::string image = m_program;
        WritePayloadOffset(reinterpret_cast<BYTE*>(&image[0]), static_cast<DWORD>(image.size()),
                           static_cast<DWORD>(image.size()));
        return image + std::string(payload.begin(), payload.end());
    }
    // Runs the installer unattended; its exit code, STILL_ACTIVE when it has not ended in time.
    DWORD RunSilent(const std::string& installer) {
        test::WriteBytes(m_setup, installer);
        return Run(m_setup, L"/S");
    }

    std::string m_demo;
    DWORD m_offset = 0;
};

TEST_F(PackageStartTest, AGoodPayloadIsUnpackedAndOpensTheWelcomePage) {
    test::WriteBytes(m_setup, m_demo);
    HWND page = OpenWindow(m_setup, L"", L"欢迎使用Demo输入法安装向导");
    ASSERT_TRUE(page);
    // Unpacked into the payload folder, the record loaded from it.
    for (const wchar_t* name : {L"Demo.ime", L"config.exe", L"License.html", L"InstallInfo.dif",
                                L"$dataFiles$\\readme.txt"}) {
        EXPECT_TRUE(test::Exists(m_work + L"SR_INSTALL\\" + name)) << Utf8(name);
    }
    EXPECT_TRUE(test::Exists(m_work + L"unstall.exe"));
    EXPECT_EQ(EndWindow(page, [](HWND w) { EXPECT_TRUE(test::CancelWizard(w)); }), 0u);
    EXPECT_FALSE(test::Exists(m_work + L"SR_INSTALL")) << "the work folder is emptied at the end";
}

TEST_F(PackageStartTest, ADamagedPayloadEndsOnTheErrorPage) {
    const std::wstring kError = L"输入法安装向导--->错误";
    // Cut short.
    EXPECT_EQ(FirstPage(m_demo.substr(0, m_demo.size() - 4000)), kError);
    // Enciphered under another key: decipher with ours, encipher with a wrong one.
    std::string wrong = m_demo;
    BLOWFISH ours, other;
    BlowfishSetKey(ours, reinterpret_cast<const uint8_t*>(kPayloadKey), kPayloadKeyLength);
    BlowfishSetKey(other, reinterpret_cast<const uint8_t*>("another key"), 11);
    uint8_t* body = reinterpret_cast<uint8_t*>(&wrong[m_offset + kContainerPlainBytes]);
    const size_t length = wrong.size() - m_offset - kContainerPlainBytes;
    BlowfishDecipher(ours, body, length);
    BlowfishEncipher(other, body, length);
    EXPECT_EQ(FirstPage(wrong), kError);
    // Nothing of it is left outside the work folder's payload folder, which is emptied.
    EXPECT_FALSE(test::Exists(m_work + L"SR_INSTALL\\Demo.ime"));
}

TEST_F(PackageStartTest, ARecordThatBreaksTheRulesOfANameOrOfTheFileToOpenIsADamagedPackage) {
    const std::wstring kError = L"输入法安装向导--->错误";
    const std::wstring programs = test::ShellFolder(CSIDL_PROGRAM_FILES);
    // The names "..", "Nul", and the file to open "..\\..\\Windows\\regedit.exe".
    for (const wchar_t* cabinet : {L"package_dots.cab", L"package_device.cab", L"package_open.cab"}) {
        EXPECT_EQ(RunSilent(Installer(cabinet)), 1620u) << Utf8(cabinet);
        EXPECT_EQ(FirstPage(Installer(cabinet)), kError) << Utf8(cabinet);
    }
    EXPECT_FALSE(test::Exists(programs + L"\\Crafted"));
    const std::wstring uninstallList = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, uninstallList + L"Crafted"));
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, L"Software\\vexal\\Nul"));
}

TEST_F(PackageStartTest, APayloadThatNamesItselfAsTheNextCabinetEndsInsteadOfUnpackingForEver) {
    const std::string installer = Installer(L"payload_self.cab");
    EXPECT_EQ(RunSilent(installer), 1620u);
    EXPECT_EQ(FirstPage(installer), L"输入法安装向导--->错误");
}

}  // namespace
