// The command line: the working-copy check, the mode switches, names, "file=" and the
// install path from the machine's vendor key.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/startup.h"
#include "tests/harness/test_folder.h"

namespace {

struct Parsed {
    RUNSTATE state{};
    INSTALLEDPACKAGE package{};
};

Parsed Parse(const std::wstring& line) {
    Parsed p;
    wcsncpy(p.state.commandLine, line.c_str(), kPathChars - 1);
    ParseCommandLine(p.state, p.package);
    return p;
}

const std::wstring kVendor = L"Software\\vexal\\";

TEST(CommandLineTest, WithoutSwitchIsInstallMode) {
    Parsed p = Parse(L" file=C:\\setup.exe");
    EXPECT_EQ(p.state.mode, kModeInstall);
    EXPECT_STREQ(p.package.packageName, L"");
    EXPECT_STREQ(p.state.startedPath, L"C:\\setup.exe");
}

TEST(CommandLineTest, EverySpellingOfEverySwitch) {
    const struct {
        const wchar_t* letters;
        wchar_t mode;
    } kSwitches[] = {{L"uU", kModeUninstall}, {L"rR", kModeRepair}, {L"gG", kModeUpdate}};
    for (const auto& s : kSwitches) {
        for (const wchar_t* lead : {L"-", L"/"}) {
            for (int i = 0; i < 2; ++i) {
                std::wstring line = std::wstring(lead) + s.letters[i] + L" name=[Abc] file=C:\\x\\Unstall.exe";
                Parsed p = Parse(line);
                EXPECT_EQ(p.state.mode, s.mode) << std::string(line.begin(), line.end());
                EXPECT_STREQ(p.package.packageName, L"Abc");
            }
        }
    }
}

TEST(CommandLineTest, LastSwitchFoundWinsWithItsName) {
    EXPECT_EQ(Parse(L"-u name=[Abc] -g name=[Xyz]").state.mode, kModeUpdate);
    EXPECT_STREQ(Parse(L"-u name=[Abc] -g name=[Xyz]").package.packageName, L"Xyz");
    // Update over repair over uninstall, whatever their order on the line.
    EXPECT_EQ(Parse(L"-g name=[G] -r name=[R] -u name=[U]").state.mode, kModeUpdate);
    // Each name runs to the end of the line: only the next "]" closing it keeps it apart.
    EXPECT_STREQ(Parse(L"-g name=[G] -r name=[R] -u name=[U]").package.packageName, L"G] -r name=[R] -u name=[U");
    EXPECT_EQ(Parse(L"/R name=[R] -u name=[U]").state.mode, kModeRepair);
    // Switches are case-sensitive substrings: "name=(" is no switch.
    EXPECT_EQ(Parse(L"-u name=(Abc)").state.mode, kModeInstall);
}

TEST(CommandLineTest, NameRunsToTheEndAndIsCutAtItsLastBracket) {
    // Without the relaunch's "file=" part the name is everything after "[" up to the last "]".
    EXPECT_STREQ(Parse(L"-u name=[Abc]").package.packageName, L"Abc");
    EXPECT_STREQ(Parse(L"-u name=[A]b]c").package.packageName, L"A]b");
    EXPECT_STREQ(Parse(L"-u name=[Abc").package.packageName, L"Abc");
}

TEST(CommandLineTest, ANameOfMoreThan39CharactersIsRefusedRatherThanCut) {
    const std::wstring name39(39, L'n');
    EXPECT_STREQ(Parse(L"-u name=[" + name39 + L"]").package.packageName, name39.c_str());
    EXPECT_STREQ(Parse(L"-u name=[" + name39).package.packageName, name39.c_str());
    // Cut to 39 characters it would name another package, the one of those 39.
    const std::wstring name40(40, L'n'), name45(45, L'n');
    Parsed longer = Parse(L"-u name=[" + name45 + L"] file=C:\\x\\Unstall.exe");
    EXPECT_EQ(longer.state.mode, kModeUninstall);
    EXPECT_STREQ(longer.package.packageName, L"");
    EXPECT_STREQ(Parse(L"-r name=[" + name40 + L"]").package.packageName, L"");
    EXPECT_STREQ(Parse(L"-g name=[" + name40).package.packageName, L"");
    // A "]" inside the first 39 characters still cuts.
    EXPECT_STREQ(Parse(L"-u name=[ab]" + name45).package.packageName, L"ab");
}

TEST(CommandLineTest, ANameThatIsNoPlainPackageNameIsTakenAsNone) {
    // The rule is tabled where it lives (PackageNameTest); these show that the parser applies it.
    for (const wchar_t* name : {L"", L"..\\..\\Windows", L"CON"}) {
        for (const wchar_t* mode : {L"-u", L"-r", L"-g"}) {
            Parsed p = Parse(std::wstring(mode) + L" name=[" + name + L"] file=C:\\x\\Unstall.exe");
            EXPECT_NE(p.state.mode, kModeInstall);
            EXPECT_STREQ(p.package.packageName, L"") << std::filesystem::path(name).u8string();
        }
    }
}

TEST(CommandLineTest, StartedPathIsCutAtItsLastBracket) {
    Parsed p = Parse(L"-u name=[Abc] file=C:\\IME [Abc]\\Unstall.exe");
    EXPECT_STREQ(p.state.startedPath, L"C:\\IME [Abc");
    // The name runs on into the path to the path's last "]", and is then no plain name.
    EXPECT_STREQ(p.package.packageName, L"");
}

TEST(CommandLineTest, StartedPathIsCutAt259Characters) {
    Parsed p = Parse(L" file=" + std::wstring(300, L'p'));
    EXPECT_EQ(wcslen(p.state.startedPath), 259u - 6u);  // the slot of the line holds 259 in all
}

class InstallPathTest : public ::testing::Test {
protected:
    void TearDown() override {
        test::DeleteRegTree(HKEY_CURRENT_USER, kVendor + L"CmdLineTestIme");
        test::DeleteRegTree(HKEY_LOCAL_MACHINE, kVendor + L"CmdLineTestIme");
    }
};

// Any process of the user can set the user's value; the uninstall empties the folder it names.
TEST_F(InstallPathTest, OnlyTheMachinesValueIsReadAndTheUsersNever) {
    test::SetRegString(HKEY_CURRENT_USER, kVendor + L"CmdLineTestIme", L"SMEInstallPath", L"C:\\User\\");
    EXPECT_STREQ(Parse(L"-u name=[CmdLineTestIme]").package.installPath, L"") << "the user's value alone";
    test::SetRegString(HKEY_LOCAL_MACHINE, kVendor + L"CmdLineTestIme", L"SMEInstallPath", L"C:\\Machine\\");
    EXPECT_STREQ(Parse(L"-r name=[CmdLineTestIme]").package.installPath, L"C:\\Machine\\");
    EXPECT_STREQ(Parse(L"-u name=[CmdLineTestIme]").package.installPath, L"C:\\Machine\\");
}

TEST(InstallPathOfARefusedNameTest, IsNeitherTheVendorKeysNorThatOfTheFirst39Characters) {
    const std::wstring name39 = L"CmdLineTestIme" + std::wstring(25, L'x');
    test::SetRegString(HKEY_LOCAL_MACHINE, kVendor + name39, L"SMEInstallPath", L"C:\\Other\\");
    test::SetRegString(HKEY_LOCAL_MACHINE, L"Software\\vexal", L"SMEInstallPath", L"C:\\Vendor\\");
    const Parsed longer = Parse(L"-u name=[" + name39 + L"yyyyy] file=C:\\x\\Unstall.exe");
    const Parsed dots = Parse(L"-u name=[..] file=C:\\x\\Unstall.exe");
    const Parsed plain = Parse(L"-u name=[" + name39 + L"] file=C:\\x\\Unstall.exe");
    test::DeleteRegTree(HKEY_LOCAL_MACHINE, kVendor + name39);
    test::SetRegString(HKEY_LOCAL_MACHINE, L"Software\\vexal", L"SMEInstallPath", nullptr);
    EXPECT_STREQ(longer.package.installPath, L"");
    EXPECT_STREQ(dots.package.installPath, L"");
    EXPECT_STREQ(plain.package.installPath, L"C:\\Other\\");
}

TEST(InstallPathEmptyNameTest, InstallModeReadsTheVendorKeyItself) {
    test::SetRegString(HKEY_LOCAL_MACHINE, L"Software\\vexal", L"SMEInstallPath", L"C:\\Vendor\\");
    Parsed p = Parse(L" file=C:\\setup.exe");
    test::SetRegString(HKEY_LOCAL_MACHINE, L"Software\\vexal", L"SMEInstallPath", nullptr);
    EXPECT_STREQ(p.package.installPath, L"C:\\Vendor\\");
}

TEST(WorkingCopyTest, AProgramNamedTheWorkingCopyAnywhereInItsPathGoesOn) {
    RUNSTATE state{};
    wcscpy(state.ownPath, L"C:\\x\\___temp.exe.d\\setup.exe");
    int result = EnsureWorkingCopy(state, L"-u name=[Abc] file=C:\\Unstall.exe", L"");
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(state.commandLine, L"-u name=[Abc] file=C:\\Unstall.exe");
}

}  // namespace
