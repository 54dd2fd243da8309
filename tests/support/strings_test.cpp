// Tests of the growable strings, the byte buffer, CreateFolderTree and the folder test of paths.
#include "support/strings.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/harness/test_folder.h"

namespace {

// The text a call throws, or "" when it throws nothing.
template <typename Call>
std::string ThrownText(Call call) {
    try {
        call();
    } catch (const char* text) {
        return text;
    }
    return "";
}

}  // namespace

// Growth and failures

TEST(StringsTest, CapacityDoublesTheLengthThatNoLongerFits) {
    CWideString s;
    EXPECT_EQ(600u, s.Capacity());
    s.Append(std::wstring(599, L'a').c_str());
    EXPECT_EQ(600u, s.Capacity());
    s.Append(L"b");
    EXPECT_EQ(1200u, s.Capacity());
    EXPECT_EQ(std::wstring(599, L'a') + L"b", s.Text());
    EXPECT_EQ(800u, CWideString(std::wstring(400, L'x').c_str()).Capacity());
}

TEST(StringsTest, FailuresThrowTheirTexts) {
    CWideString broken;
    wchar_t* chars = broken.GetBuffer(0);
    for (DWORD i = 0; i < broken.Capacity(); ++i) chars[i] = L'x';
    CWideString target;
    EXPECT_EQ("The string has no terminating null character!", ThrownText([&] { target.Append(broken); }));

    EXPECT_EQ("Fatal error: Out of memory!", ThrownText([&] { target.GetBuffer(0xFFFFFFFF); }));
    CByteBuffer buffer;
    EXPECT_EQ("Fatal error: Out of memory!", ThrownText([&] { buffer.Reserve(0xFFFFFFFF); }));
}

// Path operations and conversions

TEST(StringsTest, BackslashesAndSlashes) {
    CWideString single(L"C"), drive(L"C:"), name(L"sub/dir/file.txt");
    single.EnsureTrailingBackslash();
    drive.EnsureTrailingBackslash();
    drive.EnsureTrailingBackslash();
    name.ReplaceSlashes();
    EXPECT_STREQ(L"C", single.Text());
    EXPECT_STREQ(L"C:\\", drive.Text());
    EXPECT_STREQ(L"sub\\dir\\file.txt", name.Text());
}

TEST(StringsTest, SplitCutsAfterTheLastBackslash) {
    CWideString folder, name;
    CWideString(L"plain.cab").SplitPath(folder, name);
    EXPECT_STREQ(L"", folder.Text());
    EXPECT_STREQ(L"plain.cab", name.Text());

    CWideString path(L"C:\\cab\\set\\disk1.cab");
    path.SplitPath(path, name);
    EXPECT_STREQ(L"C:\\cab\\set\\", path.Text());
    EXPECT_STREQ(L"disk1.cab", name.Text());
}

TEST(StringsTest, CodePagesAndUtf8) {
    CWideString wide;
    wide.AssignFromCodePage("caf\xE9", 1252);
    EXPECT_STREQ(L"caf\u00E9", wide.Text());
    CAnsiString utf8;
    utf8.AssignUtf8(L"\u4E2D\u00E9.cab");
    EXPECT_STREQ("\xE4\xB8\xAD\xC3\xA9.cab", utf8.Text());
}

TEST(StringsTest, ByteBufferIsReplacedOnlyWhenTooSmall) {
    CByteBuffer buffer;
    buffer.Reserve(10);
    buffer.SetLength(5);
    BYTE* first = buffer.Data();
    buffer.Reserve(4);
    EXPECT_EQ(first, buffer.Data());
    EXPECT_EQ(0u, buffer.Length());
    buffer.Reserve(20);
    EXPECT_EQ(20u, buffer.Capacity());
}

// Folders

TEST(StringsTest, FolderTreeCreatesEveryMissingLevel) {
    test::TestFolder root;
    EXPECT_EQ(0u, CreateFolderTree((root / L"one\\two\\").c_str()));
    EXPECT_TRUE(test::Exists(root / L"one\\two"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DRIVE), CreateFolderTree(L"no_such_folder_name"));
}
