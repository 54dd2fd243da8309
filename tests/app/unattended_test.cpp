// The switches of unattended runs.
#include <gtest/gtest.h>

#include <string>

#include "app/unattended.h"
#include "tests/harness/test_folder.h"

namespace {

UNATTENDED Parse(const wchar_t* arguments) {
    UNATTENDED switches;
    ParseUnattendedSwitches(arguments, switches);
    return switches;
}

TEST(UnattendedSwitchesTest, ValuesWithBlanksAreQuotedAroundTheValueOrTheWholeSwitch) {
    for (const wchar_t* line : {L"/S /D=\"C:\\Program Files\\X\"", L"/S \"/D=C:\\Program Files\\X\"",
                                L"/s \"/d=C:\\Program Files\\X\\\""}) {
        UNATTENDED s = Parse(line);
        EXPECT_TRUE(s.silent);
        EXPECT_FALSE(s.malformed);
        EXPECT_STREQ(s.folder, L"C:\\Program Files\\X\\") << "a trailing backslash is given when missing";
    }
    UNATTENDED s = Parse(L"/S /USER=\"张 三\" /COMPANY=Acme /LOG=\"C:\\logs\\setup log.txt\" /FORCECLOSE");
    EXPECT_STREQ(s.userName, L"张 三");
    EXPECT_STREQ(s.companyName, L"Acme");
    EXPECT_STREQ(s.logPath, L"C:\\logs\\setup log.txt");
    EXPECT_TRUE(s.forceClose);
}

TEST(UnattendedSwitchesTest, OtherTokensAndTheStartedPathAreNotSwitches) {
    UNATTENDED s = Parse(L"-u name=[Abc] /S file=C:\\x /D=y\\Unstall.exe");
    EXPECT_TRUE(s.silent);
    EXPECT_STREQ(s.folder, L"") << "everything after file= is the started path";
    EXPECT_FALSE(Parse(L" file=C:\\Setup /S\\setup.exe").silent);
    EXPECT_FALSE(Parse(L"/SILENT").silent);
    EXPECT_FALSE(Parse(L"").silent);
}

TEST(UnattendedSwitchesTest, ASwitchWithoutItsValueOrAnOpenQuoteIsMalformed) {
    for (const wchar_t* line : {L"/S /D=", L"/S /D", L"/S /LOG=", L"/S /USER=", L"/S /COMPANY",
                                L"/S /D=\"C:\\Program Files\\X", L"/S \"/D=C:\\Program Files"}) {
        EXPECT_TRUE(Parse(line).malformed) << std::wstring(line).size();
    }
    EXPECT_FALSE(Parse(L"/S /D=C:\\X").malformed);
}

// A folder that the installation-folder rule (tabled in run/folders_test.cpp) refuses, of
// either kind: a relative one would be made below whatever the current folder is, and one
// that the uninstall would not remove is no target either.
TEST(UnattendedSwitchesTest, AFolderThatTheRuleRefusesIsMalformed) {
    const std::wstring programs = test::ShellFolder(CSIDL_PROGRAM_FILES);
    EXPECT_TRUE(Parse(L"/S /D=C:foo").malformed);
    EXPECT_TRUE(Parse((L"/S \"/D=" + test::ShellFolder(CSIDL_WINDOWS) + L"\\Demo\"").c_str()).malformed);
    EXPECT_FALSE(Parse((L"/S \"/D=" + programs + L"\\Demo\"").c_str()).malformed);
}

}  // namespace
