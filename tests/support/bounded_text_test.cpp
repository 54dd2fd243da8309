// Bounded copying and formatting: cut, always terminated.
#include <gtest/gtest.h>

#include <string>

#include "support/bounded_text.h"

namespace {

TEST(BoundedTextTest, FormatsWideAndNarrowArguments) {
    wchar_t out[64];
    EXPECT_EQ(FormatCut(out, 64, L"%s file=%s", L"-u name=[X]", L"C:\\a.exe"), 25u);
    EXPECT_STREQ(out, L"-u name=[X] file=C:\\a.exe");
    FormatCut(out, 64, L"%s - %S", L"输入法", "abc");
    EXPECT_STREQ(out, L"输入法 - abc");
}

TEST(BoundedTextTest, LongerResultsAreCutToTheBuffer) {
    wchar_t out[8];
    EXPECT_EQ(FormatCut(out, 8, L"%s", L"0123456789"), 7u);
    EXPECT_STREQ(out, L"0123456");
    EXPECT_EQ(FormatCut(out, 8, L"%s", L"0123456"), 7u);  // exactly fits
    EXPECT_STREQ(out, L"0123456");
    CopyCut(out, L"abcdefghij");
    EXPECT_STREQ(out, L"abcdefg");
    CopyCut(out, L"");
    EXPECT_STREQ(out, L"");
}

}  // namespace
