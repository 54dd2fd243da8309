// The text reader: encodings told by their first bytes, and the line cutter.
#include <gtest/gtest.h>

#include <string>

#include "support/text_reader.h"
#include "tests/harness/test_folder.h"

namespace {

using test::TestFolder;
using test::WriteBytes;

std::wstring Loaded(const READTEXT& reader) { return reader.Text() ? reader.Text() : L"(null)"; }

TEST(TextReaderTest, Utf8WithAndWithoutMarkGiveTheSameText) {
    TestFolder folder;
    const std::string text = "<NAME=\xE7\xB4\xA2\xE6\x8B\x89>\r\nline 2";  // 索拉
    WriteBytes(folder / L"marked.txt", "\xEF\xBB\xBF" + text);
    WriteBytes(folder / L"bare.txt", text);
    READTEXT marked, bare;
    ASSERT_TRUE(marked.LoadFile((folder / L"marked.txt").c_str()));
    ASSERT_TRUE(bare.LoadFile((folder / L"bare.txt").c_str()));
    EXPECT_EQ(Loaded(marked), L"<NAME=索拉>\r\nline 2");
    EXPECT_EQ(Loaded(bare), Loaded(marked));
    EXPECT_EQ(marked.TextLength(), 17);
    EXPECT_EQ(bare.TextLength(), 17);
    EXPECT_EQ(std::wstring(marked.Path()), folder / L"marked.txt");
}

TEST(TextReaderTest, PlainAsciiGoesTheAnsiWayWithTheSameText) {
    TestFolder folder;
    WriteBytes(folder / L"ascii.txt", "<TYPE=IME_MAIN>\n");
    READTEXT reader;
    ASSERT_TRUE(reader.LoadFile((folder / L"ascii.txt").c_str()));
    EXPECT_EQ(Loaded(reader), L"<TYPE=IME_MAIN>\n");
    EXPECT_EQ(reader.TextLength(), 16);
}

TEST(TextReaderTest, Utf16CountsItsMarkSoTheLastCountedUnitIsTheTerminator) {
    TestFolder folder;
    WriteBytes(folder / L"le.txt", std::string("\xFF\xFE" "A\0B\0", 6));
    WriteBytes(folder / L"be.txt", std::string("\xFE\xFF" "\0A\0B", 6));
    WriteBytes(folder / L"odd.txt", std::string("\xFF\xFE" "A\0B", 5));
    READTEXT le, be, odd;
    ASSERT_TRUE(le.LoadFile((folder / L"le.txt").c_str()));
    ASSERT_TRUE(be.LoadFile((folder / L"be.txt").c_str()));
    ASSERT_TRUE(odd.LoadFile((folder / L"odd.txt").c_str()));
    EXPECT_EQ(Loaded(le), L"AB");
    EXPECT_EQ(le.TextLength(), 3);
    EXPECT_EQ(Loaded(be), L"AB");
    EXPECT_EQ(be.TextLength(), 3);
    EXPECT_EQ(Loaded(odd), L"AB");  // the half unit is zero-filled
    EXPECT_EQ(odd.TextLength(), 2);
}

TEST(TextReaderTest, Utf16BigEndianMatchesItsLittleEndianTwin) {
    TestFolder folder;
    const std::wstring text = L"更新\r\n<NAME=x>";
    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (wchar_t c : text) {
        le += static_cast<char>(c & 0xFF), le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8), be += static_cast<char>(c & 0xFF);
    }
    WriteBytes(folder / L"le.txt", le);
    WriteBytes(folder / L"be.txt", be);
    READTEXT little, big;
    ASSERT_TRUE(little.LoadFile((folder / L"le.txt").c_str()));
    ASSERT_TRUE(big.LoadFile((folder / L"be.txt").c_str()));
    EXPECT_EQ(Loaded(little), text);
    EXPECT_EQ(Loaded(big), text);
    EXPECT_EQ(big.TextLength(), little.TextLength());
}

TEST(TextReaderTest, BytesThatAreNotUtf8AreReadInTheAnsiCodePage) {
    TestFolder folder;
    const std::string gbk = "\xCB\xF7\xC0\xAD";  // 索拉 in GBK; not well-formed UTF-8
    WriteBytes(folder / L"gbk.txt", gbk);
    READTEXT reader;
    ASSERT_TRUE(reader.LoadFile((folder / L"gbk.txt").c_str()));
    wchar_t expected[8] = {};
    MultiByteToWideChar(CP_ACP, 0, gbk.data(), 4, expected, 8);
    EXPECT_EQ(Loaded(reader), expected);
    if (GetACP() == 936) {
        EXPECT_EQ(Loaded(reader), L"索拉");
    }
    EXPECT_FALSE(IsUtf8Text(reinterpret_cast<const BYTE*>(gbk.data()), 4));
}

TEST(TextReaderTest, AnsiTextEndsAtItsFirstZeroByte) {
    TestFolder folder;
    WriteBytes(folder / L"zero.txt", std::string("ab\0cd", 5));
    READTEXT reader;
    ASSERT_TRUE(reader.LoadFile((folder / L"zero.txt").c_str()));
    EXPECT_EQ(Loaded(reader), L"ab");
    EXPECT_EQ(reader.TextLength(), 2);
}

TEST(TextReaderTest, AnEmptyOrMissingFileHoldsNoText) {
    TestFolder folder;
    WriteBytes(folder / L"ascii.txt", "abc");
    WriteBytes(folder / L"empty.txt", "");
    READTEXT reader;
    ASSERT_TRUE(reader.LoadFile((folder / L"ascii.txt").c_str()));
    EXPECT_FALSE(reader.LoadFile((folder / L"empty.txt").c_str()));
    EXPECT_EQ(reader.Text(), nullptr);
    EXPECT_FALSE(reader.LoadFile((folder / L"missing.txt").c_str()));
    EXPECT_EQ(reader.Text(), nullptr);
}

TEST(Utf8Test, ACharacterBeyondTheBasicPlaneKeepsItsLow16Bits) {
    const BYTE grin[] = {0xF0, 0x9F, 0x98, 0x80, 'x'};  // U+1F600
    wchar_t out[8];
    EXPECT_TRUE(IsUtf8Text(grin, 5));
    EXPECT_EQ(DecodeUtf8(grin, 5, out, 8), 2u);
    EXPECT_EQ(out[0], 0xF600);
    EXPECT_EQ(out[1], L'x');
    EXPECT_EQ(out[2], 0);
}

TEST(Utf8Test, ASequenceCutByTheEndReadsNothingBeyondIt) {
    const BYTE cut[] = {'a', 0xE7, 0xB4};  // the third byte of 索 is missing
    wchar_t out[8];
    EXPECT_FALSE(IsUtf8Text(cut, 3));
    EXPECT_EQ(DecodeUtf8(cut, 3, out, 8), 2u);
    EXPECT_EQ(out[1], static_cast<wchar_t>(0x7000 | (0x34 << 6)));
}

TEST(Utf8Test, TheOutputLimitHoldsItsTerminator) {
    const BYTE text[] = {'a', 'b', 'c', 'd'};
    wchar_t out[3] = {L'x', L'x', L'x'};
    EXPECT_EQ(DecodeUtf8(text, 4, out, 3), 2u);
    EXPECT_EQ(std::wstring(out), L"ab");
    EXPECT_EQ(DecodeUtf8(text, 4, nullptr, 100), 4u);
}

TEST(Utf8Test, OnlyWellFormedNonAsciiTextCountsAsUtf8) {
    auto is = [](const std::string& s) { return IsUtf8Text(reinterpret_cast<const BYTE*>(s.data()), (int)s.size()); };
    EXPECT_TRUE(is("a\xC3\xA9"));
    EXPECT_FALSE(is("plain"));
    EXPECT_FALSE(is(""));
    EXPECT_FALSE(is("\x80"));          // a stray continuation byte
    EXPECT_FALSE(is("\xC3"));          // a sequence still open at the end
    EXPECT_FALSE(is("\xC3" "a"));      // a lead byte without its continuation
}

TEST(ReadTextLineTest, ARunOfLineBreaksIsOneBreak) {
    const wchar_t text[] = L"a\r\n\r\nb";
    wchar_t line[kMaxLineUnits + 1];
    EXPECT_EQ(ReadTextLine(line, text), 5);
    EXPECT_STREQ(line, L"a");
    EXPECT_EQ(ReadTextLine(line, text + 5), 1);
    EXPECT_STREQ(line, L"b");
    EXPECT_EQ(ReadTextLine(line, text + 6), 0);
    EXPECT_STREQ(line, L"");
}

TEST(ReadTextLineTest, ALongLineComesInPiecesOf512) {
    const std::wstring text(600, L'x');
    wchar_t line[kMaxLineUnits + 1];
    EXPECT_EQ(ReadTextLine(line, text.c_str()), 512);
    EXPECT_EQ(std::wstring(line), std::wstring(512, L'x'));
    EXPECT_EQ(ReadTextLine(line, text.c_str() + 512), 88);
    EXPECT_EQ(std::wstring(line), std::wstring(88, L'x'));
}

}  // namespace
