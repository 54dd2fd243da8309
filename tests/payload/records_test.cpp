// Loading "InstallInfo.dif" into the package configuration record.
#include <gtest/gtest.h>

#include "payload/records.h"
#include "tests/harness/test_folder.h"

namespace {

TEST(PackageConfigTest, TakesTheFirst1308BytesAndZerosAfterAShorterFile) {
    test::TestFolder folder;
    const std::wstring path = folder / L"InstallInfo.dif";

    std::string longer(1400, '\x11');
    memcpy(&longer[0], "A\0b\0c\0\0\0", 8);
    test::WriteBytes(path, longer);
    PACKAGECONFIG record{};
    ASSERT_EQ(LoadPackageConfig(path.c_str(), record), 1);
    EXPECT_STREQ(record.name, L"Abc");
    EXPECT_EQ(record.openFile[259], 0x1111);

    test::WriteBytes(path, std::string("X\0Y\0\0\0", 6));
    PACKAGECONFIG shorter{};
    ASSERT_EQ(LoadPackageConfig(path.c_str(), shorter), 1);
    EXPECT_STREQ(shorter.name, L"XY");
    EXPECT_EQ(shorter.layoutText[0], 0);
    EXPECT_EQ(shorter.openFile[259], 0);
}

TEST(PackageConfigTest, AMissingOrEmptyFileLoadsNothing) {
    test::TestFolder folder;
    PACKAGECONFIG record{};
    EXPECT_EQ(LoadPackageConfig((folder / L"missing.dif").c_str(), record), 0);
    test::WriteBytes(folder / L"empty.dif", "");
    EXPECT_EQ(LoadPackageConfig((folder / L"empty.dif").c_str(), record), 0);
}

}  // namespace
