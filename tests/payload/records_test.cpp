// Loading "InstallInfo.dif" into the package configuration record, and the rules a record
// must keep: texts inside their fields, a plain package name, a file to open inside the folder.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "payload/records.h"
#include "tests/harness/test_folder.h"

namespace {

using test::Utf8;

// The bytes of a record with the given name and file to open, every other text short.
std::string RecordBytes(const std::wstring& name, const std::wstring& openFile = L"") {
    PACKAGECONFIG record{};
    wcsncpy(record.name, name.c_str(), 40);
    wcscpy(record.layoutText, L"Layout");
    wcsncpy(record.openFile, openFile.c_str(), 260);
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

// Writes the bytes as "InstallInfo.dif" and loads them; the loader's result.
int Load(const test::TestFolder& folder, const std::string& bytes, PACKAGECONFIG& record) {
    const std::wstring path = folder / L"InstallInfo.dif";
    test::WriteBytes(path, bytes);
    return LoadPackageConfig(path.c_str(), record);
}

TEST(PackageConfigTest, TakesTheFirst1308BytesAndZerosAfterAShorterFile) {
    test::TestFolder folder;
    std::string longer = RecordBytes(L"Abc", L"readme.txt") + std::string(92, '\x11');
    PACKAGECONFIG record{};
    ASSERT_EQ(Load(folder, longer, record), 1);
    EXPECT_STREQ(record.name, L"Abc");
    EXPECT_STREQ(record.openFile, L"readme.txt");

    PACKAGECONFIG shorter{};
    ASSERT_EQ(Load(folder, std::string("X\0Y\0\0\0", 6), shorter), 1);
    EXPECT_STREQ(shorter.name, L"XY");
    EXPECT_EQ(shorter.layoutText[0], 0);
    EXPECT_EQ(shorter.openFile[259], 0);
}

TEST(PackageConfigTest, EveryTextIsCutAtTheLastUnitOfItsField) {
    // A record written by other means: every byte a letter, no text terminated in its field.
    test::TestFolder folder;
    PACKAGECONFIG record{};
    ASSERT_EQ(Load(folder, std::string(sizeof record, 'A'), record), 1);
    const std::wstring letters(259, L'\x4141');
    EXPECT_EQ(std::wstring(record.name), letters.substr(0, 39)) << "the name does not run on into the layout text";
    EXPECT_EQ(std::wstring(record.layoutText), letters.substr(0, 43));
    EXPECT_EQ(std::wstring(record.comments), letters.substr(0, 19));
    EXPECT_EQ(std::wstring(record.publisher), letters.substr(0, 39));
    EXPECT_EQ(std::wstring(record.version), letters.substr(0, 39));
    EXPECT_EQ(std::wstring(record.contact), letters.substr(0, 39));
    EXPECT_EQ(std::wstring(record.homePage), letters.substr(0, 127));
    EXPECT_EQ(std::wstring(record.helpPhone), letters.substr(0, 39));
    EXPECT_EQ(std::wstring(record.openFile), letters) << "the file to open ends inside the record";
}

TEST(PackageConfigTest, AMissingOrEmptyFileLoadsNothing) {
    test::TestFolder folder;
    PACKAGECONFIG record{};
    EXPECT_EQ(LoadPackageConfig((folder / L"missing.dif").c_str(), record), 0);
    test::WriteBytes(folder / L"empty.dif", "");
    EXPECT_EQ(LoadPackageConfig((folder / L"empty.dif").c_str(), record), 0);
}

TEST(PackageConfigTest, ARecordWhoseNameIsNoPlainPackageNameIsDamaged) {
    test::TestFolder folder;
    // The rule itself is tabled below; one name of each kind shows that the load applies it.
    for (const wchar_t* name : {L"", L"..\\..\\Windows", L"CON", L"Demo."}) {
        PACKAGECONFIG record{};
        EXPECT_EQ(Load(folder, RecordBytes(name), record), 0) << Utf8(name);
        EXPECT_EQ(record.layoutText[0], 0) << "nothing of a damaged record is kept";
    }
}

TEST(PackageConfigTest, AFileToOpenOutsideTheInstallationFolderMakesTheRecordDamaged) {
    test::TestFolder folder;
    for (const wchar_t* open : {L"License.html", L"help\\index.html", L"help/index.html", L""}) {
        PACKAGECONFIG record{};
        EXPECT_EQ(Load(folder, RecordBytes(L"Demo", open), record), 1) << Utf8(open);
    }
    for (const wchar_t* open : {L"..\\evil.exe", L"help\\..\\..\\evil.exe", L"help/../../evil.exe", L"C:\\evil.exe",
                                L"C:evil.exe", L"\\evil.exe", L"\\\\host\\share\\evil.exe", L"readme.txt:x",
                                L"...\\evil.exe"}) {
        PACKAGECONFIG record{};
        EXPECT_EQ(Load(folder, RecordBytes(L"Demo", open), record), 0) << Utf8(open);
    }
}

TEST(PackageNameTest, OnePlainNameOf1To39Characters) {
    const std::wstring name39(39, L'名');
    for (const std::wstring& name : {std::wstring(L"Demo"), std::wstring(L"五笔 输入法"), std::wstring(L"A.B"),
                                    std::wstring(L"x..y"), std::wstring(L"CONSOLE"), std::wstring(L"COM10"), name39}) {
        EXPECT_TRUE(IsPlainPackageName(name.c_str())) << Utf8(name);
    }
    for (const std::wstring& name : {std::wstring(L""), std::wstring(L"."), std::wstring(L".."), std::wstring(L"a\\b"),
                                    std::wstring(L"a/b"), std::wstring(L"C:"), std::wstring(L"a*"), std::wstring(L"a?"),
                                    std::wstring(L"a\"b"), std::wstring(L"a|b"), std::wstring(L"a\tb"),
                                    std::wstring(L"aux"), std::wstring(L"PRN.ime"), std::wstring(L"lpt1"),
                                    std::wstring(L"nul.txt"), std::wstring(L"Com1"), std::wstring(L"LPT9.dat"),
                                    std::wstring(L"..\\..\\Windows"), std::wstring(L"x."), std::wstring(L"Demo "),
                                    name39 + L"名"}) {
        EXPECT_FALSE(IsPlainPackageName(name.c_str())) << Utf8(name);
    }
}

TEST(PackageNameTest, TheModuleKeyHoldsTheWholeNameOf39Characters) {
    const std::wstring name39(39, L'n');
    wchar_t key[kModuleKeyChars];
    ASSERT_TRUE(FormatModuleKey(key, name39.c_str()));
    EXPECT_EQ(std::wstring(key), name39 + L"(1).ime");
    // A bare "(1).ime" would be the end of every package's module.
    EXPECT_FALSE(FormatModuleKey(key, L""));
    EXPECT_STREQ(key, L"");
}

}  // namespace
