// The read-ahead of the keyed read: the reads and seeks that the cabinet library makes, forward,
// backward, across windows and at the end, return the plain bytes; failures come back as -1.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "payload/cabinet.h"
#include "payload/payload_key.h"
#include "tests/harness/test_folder.h"

namespace {

using Cabinet::CExtract;
constexpr long kWindow = Cabinet::ReadAhead::kWindowSize;
constexpr UINT kFailed = UINT(-1);

std::string Encipher(std::string cab) {
    cab.resize((cab.size() + 7) / 8 * 8, '\0');
    memcpy(&cab[0], "CRYP", 4);
    BLOWFISH cipher;
    BlowfishSetKey(cipher, reinterpret_cast<const uint8_t*>(kPayloadKey), kPayloadKeyLength);
    BlowfishEncipher(cipher, reinterpret_cast<uint8_t*>(&cab[56]), cab.size() - 56);
    return cab;
}

using test::Utf8;

// Bytes that differ from window to window and from block to block, so that a window served for
// another, or a block deciphered twice or not at all, shows.
std::string PlainCabinet(size_t size) {
    std::string plain(size, '\0');
    std::mt19937 random(7);
    for (auto& c : plain) c = static_cast<char>(random());
    memcpy(&plain[0], "MSCF", 4);
    return plain;
}

// Equal, or where the first difference lies: a mismatch of kilobytes is no message to print.
::testing::AssertionResult Same(const std::string& got, const std::string& expected) {
    if (got == expected) return ::testing::AssertionSuccess();
    if (got == "(failed)") return ::testing::AssertionFailure() << "the read failed";
    size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
    return ::testing::AssertionFailure() << got.size() << " bytes, " << expected.size() << " expected, first difference at "
                                         << at;
}

// An extractor that reads through a file layer it can make fail from a position on.
class FailingExtractor : public CExtract {
public:
    long failFrom = -1;  // -1: never
    int FileRead(int fd, void* buffer, unsigned count) override {
        const long at = _lseek(fd, 0, SEEK_CUR);
        if (failFrom >= 0 && at + long(count) > failFrom) return -1;
        return CExtract::FileRead(fd, buffer, count);
    }
};

class ReadAheadTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Five windows and a half, plus bytes that are no whole block.
        m_plain = PlainCabinet(5 * kWindow + kWindow / 2 + 21);
        m_path = m_folder / L"payload.cab";
        const std::string enciphered = Encipher(m_plain);
        test::WriteBytes(m_path, enciphered.substr(0, m_plain.size()));
        m_extractor.SetKey(kPayloadKeyLength);
        m_fd = Open();
    }
    void TearDown() override {
        if (m_fd > 0) m_extractor.Close(m_fd);
    }

    INT_PTR Open() {
        INT_PTR fd = m_extractor.Open(Utf8(m_path).c_str(), _O_RDONLY | _O_BINARY);
        EXPECT_GT(fd, 0);
        return fd;
    }
    // The next count bytes, or "(failed)".
    std::string Next(UINT count, INT_PTR fd = 0) {
        std::string out(count, '\0');
        UINT got = m_extractor.Read(fd ? fd : m_fd, &out[0], count);
        return got == count ? out : std::string("(failed)");
    }
    std::string At(long position, UINT count, INT_PTR fd = 0) {
        EXPECT_EQ(m_extractor.Seek(fd ? fd : m_fd, position, SEEK_SET), position);
        return Next(count, fd);
    }
    std::string Plain(long position, UINT count) { return m_plain.substr(position, count); }
    long WholeEnd() const { return long(m_plain.size()) / 8 * 8; }

    test::TestFolder m_folder;
    std::wstring m_path;
    std::string m_plain;
    FailingExtractor m_extractor;
    INT_PTR m_fd = 0;
};

TEST_F(ReadAheadTest, TheLibrarysReadSequenceGetsThePlainBytes) {
    // The header, the folder and file entries one after another, then the data blocks from
    // the folder's start: an 8-byte block header and up to a window and a half of data, each
    // crossing from one window into the next.
    EXPECT_TRUE(Same(Next(36), Plain(0, 36)));
    EXPECT_TRUE(Same(Next(8), Plain(36, 8)));
    EXPECT_TRUE(Same(Next(16), Plain(44, 16)));
    EXPECT_TRUE(Same(Next(13), Plain(60, 13)));
    long at = 333;
    ASSERT_EQ(m_extractor.Seek(m_fd, at, SEEK_SET), at);
    for (UINT data : {20000u, 32768u, 32768u + 6144u, 1u, 40000u}) {
        EXPECT_TRUE(Same(Next(8), Plain(at, 8))) << at;
        EXPECT_TRUE(Same(Next(data), Plain(at + 8, data))) << at;
        at += 8 + data;
        EXPECT_EQ(m_extractor.Seek(m_fd, 0, SEEK_CUR), at);
    }
}

TEST_F(ReadAheadTest, SeeksOfEveryOriginBackwardAndAcrossWindows) {
    const struct {
        long offset;
        int origin;
        long expected;  // the position afterwards
        UINT count;
    } kSteps[] = {
        {3 * kWindow + 5, SEEK_SET, 3 * kWindow + 5, 100},   // far ahead of both windows
        {-2 * kWindow, SEEK_CUR, kWindow + 105, 50},         // back by two windows
        {kWindow - 200, SEEK_CUR, 2 * kWindow - 45, 400},    // across a window's end
        {-1000, SEEK_END, long(m_plain.size()) - 1000, UINT(WholeEnd() - (long(m_plain.size()) - 1000))},  // to the last whole block
        {0, SEEK_SET, 0, 4},                                 // back to the signature
        {kWindow - 3, SEEK_SET, kWindow - 3, 2 * kWindow + 6},  // one read over three windows
        {-(2 * kWindow + 6) + 1, SEEK_CUR, kWindow - 2, 7},  // back into the first of them
    };
    for (const auto& step : kSteps) {
        ASSERT_EQ(m_extractor.Seek(m_fd, step.offset, step.origin), step.expected) << step.offset;
        EXPECT_TRUE(Same(Next(step.count), Plain(step.expected, step.count))) << step.expected;
        EXPECT_EQ(m_extractor.Seek(m_fd, 0, SEEK_CUR), step.expected + long(step.count));
    }
    EXPECT_EQ(m_extractor.Seek(m_fd, -1, SEEK_SET), -1) << "before the start";
    EXPECT_EQ(m_extractor.Seek(m_fd, 0, SEEK_CUR), kWindow + 5) << "a failed seek moves nothing";
}

TEST_F(ReadAheadTest, RandomReadsMatchThePlainBytes) {
    std::mt19937 random(14);
    for (int i = 0; i < 400; ++i) {
        const long position = long(random() % WholeEnd());
        const UINT count = 1 + UINT(random() % (i % 4 == 0 ? 3 * kWindow : 300));
        if (position + long(count) > WholeEnd()) continue;
        ASSERT_TRUE(Same(At(position, count), Plain(position, count))) << position << " " << count;
    }
}

TEST_F(ReadAheadTest, TheLastIncompleteBlockAndWhatLiesBeyondTheEndFail) {
    EXPECT_TRUE(Same(At(WholeEnd() - 8, 8), Plain(WholeEnd() - 8, 8)));
    EXPECT_EQ(At(WholeEnd() - 8, 9), "(failed)") << "one byte of the incomplete block";
    EXPECT_EQ(At(WholeEnd(), 1), "(failed)");
    EXPECT_EQ(At(long(m_plain.size()) + 100, 1), "(failed)");
    // The reads before still come out right afterwards.
    EXPECT_TRUE(Same(At(100, 10), Plain(100, 10)));
}

TEST_F(ReadAheadTest, AFailingReadGivesMinusOneNotData) {
    m_extractor.Close(m_fd);
    m_extractor.failFrom = 2 * kWindow + 100;
    m_fd = Open();
    EXPECT_TRUE(Same(At(10, 1000), Plain(10, 1000)));
    EXPECT_EQ(At(2 * kWindow - 50, 100), "(failed)") << "the window with the failing bytes";
    EXPECT_EQ(At(3 * kWindow, 10), "(failed)");
    EXPECT_TRUE(Same(At(kWindow + 1, 10), Plain(kWindow + 1, 10))) << "a window before the failure";
}

TEST_F(ReadAheadTest, AFileCutShortAfterItWasOpenedFailsItsReads) {
    // The descriptor shares writing: the file shrinks under the worker.
    EXPECT_TRUE(Same(At(0, 36), Plain(0, 36)));
    std::filesystem::resize_file(m_path, 2 * kWindow + 7);
    EXPECT_EQ(At(4 * kWindow, 100), "(failed)");
    EXPECT_EQ(At(2 * kWindow - 8, 20), "(failed)");
    EXPECT_TRUE(Same(At(kWindow, 100), Plain(kWindow, 100)));
}

TEST_F(ReadAheadTest, ClosingStopsTheWorkerAndAReopenedFileIsReadAfresh) {
    for (int round = 0; round < 20; ++round) {
        // Closed while the worker is still filling the windows after the read.
        EXPECT_TRUE(Same(At(round * 1000, 100), Plain(round * 1000, 100)));
        m_extractor.Close(m_fd);
        m_fd = Open();
    }
    EXPECT_TRUE(Same(At(4 * kWindow + 3, 5000), Plain(4 * kWindow + 3, 5000)));
}

TEST_F(ReadAheadTest, ASecondCabinetOpenBesideTheFirstIsDecipheredOnDemand) {
    const INT_PTR second = Open();
    ASSERT_NE(second, m_fd);
    for (long at : {0L, 4 * kWindow, kWindow - 7, 3 * kWindow, 100L}) {
        EXPECT_TRUE(Same(At(at, 3000), Plain(at, 3000))) << "read ahead, at " << at;
        EXPECT_TRUE(Same(At(at + 11, 40000, second), Plain(at + 11, 40000))) << "on demand, at " << at;
        EXPECT_TRUE(Same(Next(3000), Plain(at + 3000, 3000))) << "read ahead again, at " << at;
    }
    m_extractor.Close(second);
}

TEST(ReadAheadLifetimeTest, AnExtractorDestroyedWithItsCabinetOpenEndsCleanly) {
    test::TestFolder folder;
    const std::string plain = PlainCabinet(3 * kWindow);
    test::WriteBytes(folder / L"x.cab", Encipher(plain));
    for (int round = 0; round < 10; ++round) {
        INT_PTR fd;
        {
            // The library's close never comes: the worker may still be filling a window.
            CExtract extractor;
            extractor.SetKey(kPayloadKeyLength);
            fd = extractor.Open(Utf8(folder / L"x.cab").c_str(), _O_RDONLY | _O_BINARY);
            std::string out(100, '\0');
            EXPECT_EQ(extractor.Read(fd, &out[0], 100), 100u);
            EXPECT_EQ(out.substr(4), plain.substr(4, 96));
        }
        EXPECT_EQ(_close(static_cast<int>(fd)), 0);
    }
}

}  // namespace
