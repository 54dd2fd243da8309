// The path vocabulary: joining, comparing by whole steps, and the rule for one plain step.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "support/path.h"

namespace {

TEST(PathTest, JoinsPutExactlyOneBackslashBetween) {
    wchar_t out[32];
    EXPECT_EQ(JoinPath(out, L"C:\\a", L"b.txt"), 10u);
    EXPECT_STREQ(out, L"C:\\a\\b.txt");
    JoinPath(out, L"C:\\a\\", L"b", L"\\");
    EXPECT_STREQ(out, L"C:\\a\\b\\");
    wchar_t cut[8];
    JoinPath(cut, L"C:\\folder", L"b.txt");
    EXPECT_STREQ(cut, L"C:\\fold");

    // Unbounded: a separator of either kind ends a folder, and a stored name's steps start at "".
    EXPECT_EQ(JoinedPath(L"C:\\a", L"b"), L"C:\\a\\b");
    EXPECT_EQ(JoinedPath(L"C:/a/", L"b"), L"C:/a/b");
    EXPECT_EQ(JoinedPath(JoinedPath(L"", L"sub"), L"b"), L"sub\\b");
    EXPECT_EQ(JoinedPath(L"C:\\a", L""), L"C:\\a\\");

    EXPECT_EQ(LengthWithoutBackslash(L"C:\\a\\\\"), 4u);
    EXPECT_EQ(LengthWithoutBackslash(L"C:\\"), 3u);
}

// Whole steps, and case folded as the file system folds it: non-ASCII letters too.
TEST(PathTest, PathsCompareByWholeStepsWithoutRegardToCase) {
    struct Case {
        const wchar_t* path;
        const wchar_t* folder;
        bool inside, same;
    } const cases[] = {
        {L"C:\\Program Files\\X\\a.dll", L"C:\\Program Files\\X\\", true, false},
        {L"C:\\Program Files\\X", L"C:\\Program Files\\X\\", true, false},
        {L"c:\\program files\\x\\", L"C:\\Program Files\\X\\", true, true},
        {L"C:\\Program Files\\Xtra\\a.dll", L"C:\\Program Files\\X", false, false},
        {L"C:\\windows\\system32\\", L"C:\\win", false, false},
        {L"C:\\Program Files", L"C:\\Program Files\\X\\", false, false},
        {L"C:\\a.dll", L"C:\\", true, false},
        {L"D:\\a.dll", L"C:\\", false, false},
        {L"C:\\a.dll", L"", false, false},
        {L"C:\\D\u00C9MO\\a.dll", L"c:\\d\u00E9mo\\A.DLL", true, true},
        {L"C:\\\u0414\u0435\u043C\u043E", L"C:\\\u0434\u0415\u041C\u041E", true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.inside, IsInFolder(c.path, c.folder)) << c.path << L" in " << c.folder;
        EXPECT_EQ(c.same, SamePath(c.path, c.folder)) << c.path << L" as " << c.folder;
        EXPECT_EQ(c.same, EndsWithPath(c.path, wcslen(c.path), c.folder)) << c.path << L" ends " << c.folder;
    }
    // A length short of the terminator: the module paths it is asked about may lack one.
    EXPECT_TRUE(EndsWithPath(L"C:\\X\\D\u00C9MO.IME~", 13, L"\\d\u00E9mo.ime"));
}

// What stays the same file wherever it is appended; the system drops a trailing dot or blank
// and takes a device's name for the device, in any folder and with any extension.
TEST(PathTest, APlainStepNamesTheSameFileWhereverItIsAppended) {
    const struct {
        std::wstring step;
        bool plain;
    } cases[] = {
        {L"a.txt", true},   {L"\u8F93\u5165\u6CD5", true}, {L"com0", true},    {L"console", true},
        {L".hidden", true}, {L"", false},                  {L".", false},      {L"..", false},
        {L"...", false},    {L"a.", false},                {L"a ", false},     {L"a:b", false},
        {L"a/b", false},    {L"a\\b", false},              {L"a*", false},     {L"a?", false},
        {L"a\"", false},    {L"a<", false},                {L"a|", false},     {L"a\tb", false},
        {L"aux", false},    {L"AUX.v2", false},            {L"nul.txt", false}, {L"com1.txt", false},
        {L"LPT9", false},   {L"conin$", false},                {L"COM\u00B9", false}, {L"lpt\u00B3.txt", false},
        {L"COM\u00B4", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.plain, IsPlainPathStep(c.step.c_str(), c.step.size())) << c.step;
    }
}

}  // namespace
