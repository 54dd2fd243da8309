// Version resources on real modules built beside the tests: reading, rewriting, branding.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/harness/test_folder.h"
#include "update/component_types.h"
#include "update/version_info.h"

namespace {

using test::ProgramBeside;
using test::TestFolder;

// A copy of a test module in the scratch folder, to be changed by the test.
std::wstring CopyModule(const TestFolder& folder, const wchar_t* module) {
    const std::wstring path = folder / module;
    EXPECT_TRUE(CopyFileW(ProgramBeside(module).c_str(), path.c_str(), FALSE));
    return path;
}

std::wstring Read(const std::wstring& file, const wchar_t* name) {
    wchar_t out[256] = {};
    return GetVersionString(file.c_str(), name, out, 256) ? out : L"(none)";
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) {
    reinterpret_cast<std::vector<WORD>*>(out)->push_back(language);
    return TRUE;
}

// The languages in which a module file holds the resource (type, id).
std::vector<WORD> ResourceLanguages(const std::wstring& file, const wchar_t* type, int id) {
    std::vector<WORD> languages;
    if (HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(id), CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
        FreeLibrary(module);
    }
    return languages;
}

// The bytes of one resource of a module file.
std::string ResourceBytes(const std::wstring& file, const wchar_t* type, int id) {
    HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return "(no module)";
    std::string bytes = "(none)";
    if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type)) {
        const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        bytes.assign(data, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return bytes;
}

// Checks a node and its children: each child starts on a 4-byte boundary after the one before,
// inside its parent, and the last one ends where its parent does (up to the parent's padding).
// Returns the strings met, as "key=text".
void CheckNode(const std::string& data, size_t start, size_t limit, int depth, std::vector<std::wstring>& strings) {
    ASSERT_EQ(start % 4, 0u) << "node at " << start;
    ASSERT_LE(start + 6, limit);
    VersionNodeHeader header;
    memcpy(&header, data.data() + start, 6);
    const size_t end = start + header.wLength;
    ASSERT_LE(end, limit) << "node at " << start;
    const wchar_t* key = reinterpret_cast<const wchar_t*>(data.data() + start + 6);
    const size_t value = (start + 6 + (wcslen(key) + 1) * 2 + 3) & ~size_t(3);
    const bool isString = depth == 3;
    if (isString) {
        ASSERT_EQ(header.wType, 1);
        const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data() + value);
        ASSERT_EQ(value + header.wValueLength * 2, end) << "string " << std::string(key, key + wcslen(key));
        strings.push_back(std::wstring(key) + L"=" + std::wstring(text, header.wValueLength - 1));
        return;
    }
    const size_t first = (value + header.wValueLength + 3) & ~size_t(3);
    size_t child = first, lastEnd = first;
    const bool walk = depth == 0 || (depth == 1 && std::wstring(key) == L"StringFileInfo") || depth == 2;
    while (walk && child < end) {
        CheckNode(data, child, end, depth + 1, strings);
        if (testing::Test::HasFatalFailure()) return;
        VersionNodeHeader childHeader;
        memcpy(&childHeader, data.data() + child, 6);
        lastEnd = child + childHeader.wLength;
        child = (lastEnd + 3) & ~size_t(3);
    }
    if (walk) {
        EXPECT_TRUE(end == lastEnd || end == ((lastEnd + 3) & ~size_t(3))) << "node at " << start;
    }
}

std::vector<std::wstring> CheckedStrings(const std::wstring& file) {
    const std::string data = ResourceBytes(file, RT_VERSION, 1);
    std::vector<std::wstring> strings;
    CheckNode(data, 0, data.size(), 0, strings);
    return strings;
}

TEST(ParseVersionTest, FourPartsOf16Bits) {
    EXPECT_EQ(ParseVersion(L"1.2.3.4"), 0x0001000200030004ull);
    EXPECT_EQ(ParseVersion(L"5"), 0x0005000000000000ull);
    EXPECT_EQ(ParseVersion(L"1.2"), 0x0001000200000000ull);
    EXPECT_EQ(ParseVersion(L"70000.1.1.1"), 0x1170000100010001ull);
    EXPECT_EQ(ParseVersion(L" 2.x.3"), 0x0002000000030000ull);
    EXPECT_EQ(ParseVersion(L""), 0u);
    EXPECT_LT(ParseVersion(L"1.9.9.9"), ParseVersion(L"2.0.0.0"));
    EXPECT_LT(ParseVersion(L"1.0.0.1"), ParseVersion(L"1.0.0.2"));
}

TEST(VersionStringTest, ReadsTheFilesStringsAndVersion) {
    const std::wstring module = ProgramBeside(L"SrInstalledModule.dll");
    EXPECT_EQ(Read(module, L"CompanyName"), L"示例输入法工作室");
    EXPECT_EQ(Read(module, L"FileDescription"), L"Demo 输入法");
    EXPECT_EQ(GetFileVersion64(module.c_str()), 0x0001000000000001ull);
    EXPECT_EQ(Read(module, L"LegalTrademarks"), L"(none)");
    EXPECT_GT(GetVersionString(module.c_str(), L"CompanyName", nullptr, 0), 0);
    wchar_t cut[5];
    EXPECT_EQ(GetVersionString(module.c_str(), L"FileDescription", cut, 5), 5);
    EXPECT_STREQ(cut, L"Demo");
}

TEST(VersionStringTest, TheFirstTranslationHoldingTheStringWins) {
    const std::wstring module = ProgramBeside(L"SrTwoTranslations.dll");
    EXPECT_EQ(Read(module, L"FileDescription"), L"English description");
    EXPECT_EQ(Read(module, L"CompanyName"), L"第二家公司");
}

TEST(VersionStringTest, AFileWithoutVersionInformationHasNone) {
    TestFolder folder;
    const std::wstring bare = CopyModule(folder, L"SrBareModule.dll");
    const std::wstring source = ProgramBeside(L"SrInstalledModule.dll");
    EXPECT_EQ(GetFileVersion64(bare.c_str()), 0u);
    EXPECT_EQ(Read(bare, L"FileVersion"), L"(none)");
    EXPECT_EQ(GetVersionString(bare.c_str(), L"FileVersion", nullptr, 0), 0);
    EXPECT_FALSE(SetVersionString(bare.c_str(), L"FileVersion", L"1.0.0.0"));
    EXPECT_FALSE(CopyModuleResource(bare.c_str(), source.c_str(), RT_BITMAP, MAKEINTRESOURCEW(103)));
    EXPECT_EQ(GetFileVersion64((folder / L"missing.dll").c_str()), 0u);
}

TEST(SetVersionStringTest, ShorterAndLongerTextsLeaveAWellFormedResource) {
    TestFolder folder;
    const std::wstring module = CopyModule(folder, L"SrNewModule.dll");
    const std::vector<std::wstring> before = CheckedStrings(module);
    ASSERT_EQ(before.size(), 6u);
    for (const wchar_t* text : {L"x", L"A much longer description of the generic driver than before", L"abc",
                                L"索拉输入法 驱动"}) {
        ASSERT_TRUE(SetVersionString(module.c_str(), L"FileDescription", text));
        EXPECT_EQ(Read(module, L"FileDescription"), text);
        std::vector<std::wstring> expected = before;
        expected[2] = std::wstring(L"FileDescription=") + text;
        EXPECT_EQ(CheckedStrings(module), expected);
        EXPECT_EQ(Read(module, L"FileVersion"), L"2.3.4.5");
        EXPECT_EQ(Read(module, L"ProductName"), L"Generic");
    }
}

TEST(SetVersionStringTest, TheLastStringOfTheResourceCanChange) {
    TestFolder folder;
    const std::wstring module = CopyModule(folder, L"SrInstalledModule.dll");
    ASSERT_TRUE(SetVersionString(module.c_str(), L"ProductName", L"Demo 2"));
    EXPECT_EQ(Read(module, L"ProductName"), L"Demo 2");
    EXPECT_EQ(CheckedStrings(module).back(), L"ProductName=Demo 2");
    EXPECT_EQ(Read(module, L"CompanyName"), L"示例输入法工作室");
}

TEST(SetVersionStringTest, WritesInTheLanguageOfTheTranslationThatHoldsTheString) {
    TestFolder folder;
    const std::wstring module = CopyModule(folder, L"SrTwoTranslations.dll");
    ASSERT_TRUE(SetVersionString(module.c_str(), L"CompanyName", L"新公司"));
    EXPECT_EQ(Read(module, L"CompanyName"), L"新公司");
    EXPECT_EQ(Read(module, L"FileDescription"), L"English description");
    EXPECT_EQ(ResourceLanguages(module, RT_VERSION, 1), std::vector<WORD>{0x0804});
    CheckedStrings(module);
}

TEST(SetVersionStringTest, EveryTableHoldingTheStringIsRewrittenInTheResourcesOwnLanguage) {
    TestFolder folder;
    const std::wstring module = CopyModule(folder, L"SrTwoTranslations.dll");
    // The first translation is English; the resource itself is stored as Chinese.
    ASSERT_TRUE(SetVersionString(module.c_str(), L"FileDescription", L"新说明"));
    const std::vector<std::wstring> strings = CheckedStrings(module);
    EXPECT_EQ(std::count(strings.begin(), strings.end(), L"FileDescription=新说明"), 2);
    EXPECT_EQ(Read(module, L"FileDescription"), L"新说明");
    EXPECT_EQ(ResourceLanguages(module, RT_VERSION, 1), std::vector<WORD>{0x0804});
}

TEST(SetVersionStringTest, ANameDifferingOnlyInCaseIsNotReplaced) {
    TestFolder folder;
    const std::wstring module = CopyModule(folder, L"SrNewModule.dll");
    const std::string before = ResourceBytes(module, RT_VERSION, 1);
    SetVersionString(module.c_str(), L"companyname", L"Other");
    EXPECT_EQ(Read(module, L"CompanyName"), L"Vendor");
    EXPECT_EQ(ResourceBytes(module, RT_VERSION, 1), before);
}

TEST(SetVersionStringTest, AStringLongerThanItsTableIsLeftAlone) {
    TestFolder folder;
    const std::wstring module = CopyModule(folder, L"SrNewModule.dll");
    std::string data = ResourceBytes(module, RT_VERSION, 1);
    // The last string, "ProductName", claims to reach far beyond its table and the resource.
    const std::wstring key = L"ProductName";
    const size_t at = std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2).find(key) * 2 - 6;
    ASSERT_LT(at, data.size());
    data[at] = '\xF0', data[at + 1] = '\x7F';
    ASSERT_TRUE(WriteVersionResource(0xFFFF, data.data(), static_cast<DWORD>(data.size()), module.c_str()));
    ASSERT_EQ(ResourceBytes(module, RT_VERSION, 1), data);
    SetVersionString(module.c_str(), L"ProductName", L"x");
    EXPECT_EQ(ResourceBytes(module, RT_VERSION, 1), data);
}

TEST(CopyModuleResourceTest, WritesTheSourcesResourceIntoTheTarget) {
    TestFolder folder;
    const std::wstring target = CopyModule(folder, L"SrNewModule.dll");
    const std::wstring source = ProgramBeside(L"SrInstalledModule.dll");
    ASSERT_NE(ResourceBytes(target, RT_BITMAP, 103), ResourceBytes(source, RT_BITMAP, 103));
    ASSERT_TRUE(CopyModuleResource(target.c_str(), source.c_str(), RT_BITMAP, MAKEINTRESOURCEW(103)));
    EXPECT_EQ(ResourceBytes(target, RT_BITMAP, 103), ResourceBytes(source, RT_BITMAP, 103));
    EXPECT_NE(ResourceBytes(target, RT_BITMAP, 104), ResourceBytes(source, RT_BITMAP, 104));
    EXPECT_FALSE(CopyModuleResource(target.c_str(), source.c_str(), RT_BITMAP, MAKEINTRESOURCEW(999)));
    EXPECT_FALSE(CopyModuleResource(target.c_str(), (folder / L"missing.dll").c_str(), RT_BITMAP,
                                    MAKEINTRESOURCEW(103)));
}

// What travels from the installed file into the new one, by component type.
struct Brand {
    bool icon, bitmaps;
};

void ExpectBrandCarried(int type, Brand brand) {
    TestFolder folder;
    const std::wstring fresh = CopyModule(folder, L"SrNewModule.dll");
    const std::wstring installed = ProgramBeside(L"SrInstalledModule.dll");
    const std::string newIcon = ResourceBytes(fresh, RT_ICON, 1), newBitmap = ResourceBytes(fresh, RT_BITMAP, 104);
    ASSERT_TRUE(ReplaceBrandResources(fresh.c_str(), type, installed.c_str()));
    EXPECT_EQ(Read(fresh, L"FileDescription"), L"Demo 输入法");
    EXPECT_EQ(Read(fresh, L"CompanyName"), L"示例输入法工作室");
    EXPECT_EQ(Read(fresh, L"FileVersion"), L"2.3.4.5");  // the new file keeps its own version
    EXPECT_EQ(ResourceBytes(fresh, RT_ICON, 1), brand.icon ? ResourceBytes(installed, RT_ICON, 1) : newIcon);
    EXPECT_EQ(ResourceBytes(fresh, RT_BITMAP, 104),
              brand.bitmaps ? ResourceBytes(installed, RT_BITMAP, 104) : newBitmap);
    if (brand.bitmaps) {
        EXPECT_EQ(ResourceBytes(fresh, RT_BITMAP, 103), ResourceBytes(installed, RT_BITMAP, 103));
    }
}

TEST(ReplaceBrandResourcesTest, ASkinDriverTakesTheBitmapsAndStrings) { ExpectBrandCarried(SKIN_DRIVE, {false, true}); }
TEST(ReplaceBrandResourcesTest, TheImeTakesTheIconAndStrings) { ExpectBrandCarried(IME_MAIN, {true, false}); }
TEST(ReplaceBrandResourcesTest, TheInstallerTakesTheIconAndStrings) {
    ExpectBrandCarried(INSTALLBASE_DRIVE, {true, false});
}
TEST(ReplaceBrandResourcesTest, OtherTypesTakeOnlyTheStrings) { ExpectBrandCarried(SME_DRIVE, {false, false}); }

TEST(ReplaceBrandResourcesTest, AnInstalledFileWithoutTheResourceFails) {
    TestFolder folder;
    const std::wstring fresh = CopyModule(folder, L"SrNewModule.dll");
    const std::wstring two = ProgramBeside(L"SrTwoTranslations.dll");  // no bitmaps, no icon
    EXPECT_FALSE(ReplaceBrandResources(fresh.c_str(), SKIN_DRIVE, two.c_str()));
    EXPECT_FALSE(ReplaceBrandResources(fresh.c_str(), IME_MAIN, two.c_str()));
    EXPECT_EQ(Read(fresh, L"CompanyName"), L"Vendor");
}

}  // namespace
