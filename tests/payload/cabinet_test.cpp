// The cabinet extractor: the keyed read, extraction of cabinets made by another tool,
// names, times and attributes, hostile and damaged cabinets, and its thread binding.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <filesystem>
#include <new>
#include <thread>

#include "payload/cabinet.h"
#include "payload/payload_key.h"
#include "payload/stored_name.h"
#include "tests/harness/test_folder.h"

namespace {

using Cabinet::CExtract;

std::wstring Cabinets() { return test::ProgramBeside(L"testdata\\cabinets\\"); }
std::string CabinetBytes(const wchar_t* name) { return test::ReadBytes(Cabinets() + name); }

// The enciphered container of a plain cabinet, under the first keyLength characters of the
// payload key (fewer characters give a wrong key).
std::string Encipher(std::string cab, size_t keyLength = kPayloadKeyLength) {
    cab.resize((cab.size() + 7) / 8 * 8, '\0');
    memcpy(&cab[0], "CRYP", 4);
    BLOWFISH cipher;
    BlowfishSetKey(cipher, reinterpret_cast<const uint8_t*>(kPayloadKey), keyLength);
    BlowfishEncipher(cipher, reinterpret_cast<uint8_t*>(&cab[56]), cab.size() - 56);
    return cab;
}

using test::Utf8;

// Every file under a folder, by relative path, with its contents.
std::map<std::wstring, std::string> Tree(const std::wstring& folder) {
    std::map<std::wstring, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        if (e.is_regular_file()) {
            files[std::filesystem::relative(e.path(), folder).wstring()] = test::ReadBytes(e.path().wstring());
        }
    }
    return files;
}

// A bound extractor for the reads of one file, opened as the library opens it.
class KeyedReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_plain.resize(4096);
        for (size_t i = 0; i < m_plain.size(); ++i) m_plain[i] = static_cast<char>(i * 13 + 7);
        memcpy(&m_plain[0], "MSCF", 4);
        m_path = m_folder / L"payload.cab";
        test::WriteBytes(m_path, Encipher(m_plain));
        m_extractor.SetKey(kPayloadKeyLength);
        m_fd = m_extractor.Open(Utf8(m_path).c_str(), _O_RDONLY | _O_BINARY);
        ASSERT_GT(m_fd, 0);
    }
    void TearDown() override { m_extractor.Close(m_fd); }

    std::string ReadAt(long position, UINT count) {
        std::string out(count, '\0');
        EXPECT_EQ(m_extractor.Seek(m_fd, position, SEEK_SET), position);
        UINT got = m_extractor.Read(m_fd, &out[0], count);
        return got == count ? out : std::string("(failed)");
    }

    test::TestFolder m_folder;
    std::wstring m_path;
    std::string m_plain;
    CExtract m_extractor;
    INT_PTR m_fd = 0;
};

TEST_F(KeyedReadTest, ReadsDecipherFromAnyPosition) {
    EXPECT_EQ(ReadAt(0, 4), "MSCF");
    // Across the plain prefix: bytes 50 to 55 as they are, 56 to 69 deciphered.
    EXPECT_EQ(ReadAt(50, 20), m_plain.substr(50, 20));
    EXPECT_EQ(m_extractor.Seek(m_fd, 0, SEEK_CUR), 70);
    // Inside a block: the block at 56 is deciphered and three of its bytes returned.
    EXPECT_EQ(ReadAt(61, 3), m_plain.substr(61, 3));
    EXPECT_EQ(ReadAt(4000, 96), m_plain.substr(4000, 96));
    // Reading on without a seek continues where the last read ended.
    std::string next(10, '\0');
    m_extractor.Read(m_fd, &next[0], 10);
    EXPECT_EQ(next, std::string(10, '\0')) << "the padding after the last byte";
}

TEST_F(KeyedReadTest, AReadLargerThanTheBufferIsServedInPieces) {
    m_plain.resize(3 * Cabinet::kDecipherBufferSize + 5);
    for (size_t i = 4096; i < m_plain.size(); ++i) m_plain[i] = static_cast<char>(i % 251);
    m_extractor.Close(m_fd);
    test::WriteBytes(m_path, Encipher(m_plain));
    m_fd = m_extractor.Open(Utf8(m_path).c_str(), _O_RDONLY | _O_BINARY);
    const UINT count = 2 * Cabinet::kDecipherBufferSize + 1000;
    EXPECT_EQ(ReadAt(13, count), m_plain.substr(13, count));
}

TEST_F(KeyedReadTest, AContainerWhoseLengthIsNoMultipleOf8FailsAtItsLastBlock) {
    m_extractor.Close(m_fd);
    test::WriteBytes(m_path, Encipher(m_plain).substr(0, 4093));
    m_fd = m_extractor.Open(Utf8(m_path).c_str(), _O_RDONLY | _O_BINARY);
    EXPECT_EQ(ReadAt(4000, 80), m_plain.substr(4000, 80));
    char tail[8];
    m_extractor.Seek(m_fd, 4088, SEEK_SET);
    EXPECT_EQ(m_extractor.Read(m_fd, tail, 5), UINT(-1));
}

TEST(SignatureTest, EachSignatureNeedsItsKeyState) {
    test::TestFolder folder;
    const struct {
        const char* start;
        bool keyed;
        int error;  // 0: accepted
    } kCases[] = {{"MSCF", false, 0}, {"MSCF", true, 1007}, {"CRYP", false, 1008},
                  {"CRYP", true, 0},  {"PK\3\4", true, 2},   {"PK\3\4", false, 2}};
    for (const auto& c : kCases) {
        test::WriteBytes(folder / L"x.cab", std::string(c.start) + std::string(60, 'x'));
        CExtract extractor;
        if (c.keyed) extractor.SetKey(kPayloadKeyLength);
        INT_PTR fd = extractor.Open(Utf8(folder / L"x.cab").c_str(), _O_RDONLY | _O_BINARY);
        char head[8];
        UINT got = extractor.Read(fd, head, 8);
        extractor.Close(fd);
        EXPECT_EQ(extractor.LastError().code, c.error) << c.start << " keyed " << c.keyed;
        EXPECT_EQ(got, c.error ? UINT(-1) : 8u);
        if (!c.error) {
            EXPECT_EQ(std::string(head, 4), "MSCF");
        }
    }
}

TEST(CipherKeyTest, AnEmptyKeyLeavesTheExtractorUnkeyed) {
    CExtract extractor;
    EXPECT_EQ(extractor.SetKey(0), 0);
    EXPECT_FALSE(extractor.IsKeyed());
    EXPECT_EQ(extractor.SetKey(kPayloadKeyLength), 1);
    EXPECT_TRUE(extractor.IsKeyed());
}

class ExtractTest : public ::testing::Test {
protected:
    // Extracts into a fresh folder under the scratch folder; returns the result.
    bool Extract(const std::wstring& cabinet, bool keyed = false) {
        CExtract extractor;
        if (keyed) extractor.SetKey(kPayloadKeyLength);
        EXPECT_TRUE(extractor.Init());
        bool ok = extractor.Extract(cabinet.c_str(), m_out.c_str());
        m_error = extractor.LastError();
        return ok;
    }

    std::wstring Copy(const wchar_t* name, const std::string& bytes) {
        test::WriteBytes(m_folder / name, bytes);
        return m_folder / name;
    }

    test::TestFolder m_folder;
    const std::wstring m_out = m_folder / L"x\\y\\z\\out";  // without its backslash
    Cabinet::ERRORSTATE m_error{};
};

TEST_F(ExtractTest, CabinetsOfAnotherToolComeOutWhole) {
    const auto expected = Tree(Cabinets() + L"tree");
    for (const wchar_t* name : {L"gcab_plain.cab", L"gcab_zip.cab"}) {
        test::RemoveTree(m_out);
        ASSERT_TRUE(Extract(Cabinets() + name)) << m_error.code;
        EXPECT_EQ(Tree(m_out), expected);
    }
    EXPECT_TRUE(test::Exists(m_out + L"\\sub\\ünï.txt"));

    // Told one stored name, in any case, it writes that file alone.
    test::RemoveTree(m_out);
    Cabinet::CExtract only;
    ASSERT_TRUE(only.Init());
    only.ExtractOnly(L"SUB\\ÜNÏ.TXT");
    ASSERT_TRUE(only.Extract((Cabinets() + L"gcab_zip.cab").c_str(), m_out.c_str())) << only.LastError().code;
    const auto written = Tree(m_out);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written.begin()->second, expected.at(L"sub\\ünï.txt"));
}

TEST_F(ExtractTest, AnEncipheredPayloadNeedsTheKey) {
    const std::wstring payload = Copy(L"payload.cab", Encipher(CabinetBytes(L"gcab_zip.cab")));
    ASSERT_TRUE(Extract(payload, true)) << m_error.code;
    EXPECT_EQ(Tree(m_out), Tree(Cabinets() + L"tree"));

    EXPECT_FALSE(Extract(payload, false));
    EXPECT_EQ(m_error.code, Cabinet::kErrorCipheredCabinet);
    EXPECT_FALSE(Extract(Cabinets() + L"gcab_zip.cab", true));
    EXPECT_EQ(m_error.code, Cabinet::kErrorPlainCabinet);
}

TEST_F(ExtractTest, AWrongKeyFailsWithoutWritingGarbageAsFiles) {
    const std::wstring payload = Copy(L"payload.cab", Encipher(CabinetBytes(L"gcab_zip.cab"), 7));
    EXPECT_FALSE(Extract(payload, true));
    EXPECT_FALSE(test::Exists(m_out + L"\\sub\\dir\\big.bin"));
}

TEST_F(ExtractTest, NamesWithoutTheUtf8FlagAreReadInCodePage1252) {
    ASSERT_TRUE(Extract(Cabinets() + L"latin1.cab")) << m_error.code;
    EXPECT_TRUE(test::Exists(m_out + L"\\sub\\Ã¼nÃ¯.txt"));
}

// The stored DOS time of an entry, as a file time.
FILETIME StoredTime(const std::string& cab, const char* name) {
    size_t at = cab.find(std::string(name) + '\0');
    WORD date, time;
    memcpy(&date, &cab[at - 6], 2);
    memcpy(&time, &cab[at - 4], 2);
    FILETIME stored;
    DosDateTimeToFileTime(date, time, &stored);
    return stored;
}

ULONGLONG WriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return ULARGE_INTEGER{{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}}.QuadPart;
}

ULONGLONG Ticks(FILETIME t) { return ULARGE_INTEGER{{t.dwLowDateTime, t.dwHighDateTime}}.QuadPart; }

TEST_F(ExtractTest, TimesAreLocalUnlessFlaggedAndOnlyFourAttributesAreKept) {
    const std::string cab = CabinetBytes(L"attributes.cab");
    ASSERT_TRUE(Extract(Cabinets() + L"attributes.cab")) << m_error.code;

    FILETIME storedB = StoredTime(cab, "b.txt"), utcB;
    LocalFileTimeToFileTime(&storedB, &utcB);
    ASSERT_NE(Ticks(storedB), Ticks(utcB)) << "the tests need a time zone away from UTC";
    EXPECT_EQ(WriteTime(m_out + L"\\b.txt"), Ticks(utcB));
    EXPECT_EQ(WriteTime(m_out + L"\\a.txt"), Ticks(StoredTime(cab, "a.txt"))) << "bit 0x100: already UTC";

    EXPECT_EQ(GetFileAttributesW((m_out + L"\\a.txt").c_str()), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesW((m_out + L"\\b.txt").c_str()), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(ExtractTest, AReadOnlyFileInTheDestinationIsReplaced) {
    std::filesystem::create_directories(m_out);
    test::WriteBytes(m_out + L"\\a.txt", "old contents");
    SetFileAttributesW((m_out + L"\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(Extract(Cabinets() + L"gcab_plain.cab")) << m_error.code;
    EXPECT_EQ(test::ReadBytes(m_out + L"\\a.txt"), "hello\n");
}

TEST_F(ExtractTest, HostileNamesAreRefusedAndNothingLandsOutsideTheDestination) {
    for (const wchar_t* name : {L"parent", L"drive", L"rooted", L"deep", L"device"}) {
        test::RemoveTree(m_out);
        EXPECT_FALSE(Extract(Cabinets() + L"hostile_" + name + L".cab")) << Utf8(name);
        EXPECT_EQ(m_error.code, Cabinet::kErrorCreateFile) << Utf8(name);
        EXPECT_EQ(test::ReadBytes(m_out + L"\\good.txt"), "good\n") << "what came before stays";
        for (const auto& e : std::filesystem::recursive_directory_iterator(m_folder.Path())) {
            if (e.path().wstring().rfind(m_out, 0) == 0) continue;
            EXPECT_EQ(e.path().filename().wstring().find(L"evil"), std::wstring::npos) << e.path().u8string();
        }
    }
    EXPECT_FALSE(test::Exists(L"C:\\evil.txt"));
    EXPECT_FALSE(test::Exists(L"Z:\\evil.txt"));
    EXPECT_TRUE(Cabinet::IsSafeStoredName(L"sub\\dir\\file.txt"));
    EXPECT_TRUE(Cabinet::IsSafeStoredName(L"..name\\a..b.txt"));
    EXPECT_FALSE(Cabinet::IsSafeStoredName(L"a\\...\\b"));
    EXPECT_FALSE(Cabinet::IsSafeStoredName(L"file.txt:stream"));
    EXPECT_FALSE(Cabinet::IsSafeStoredName(L""));
}

TEST_F(ExtractTest, DamagedDataLeavesNoFileThatLooksComplete) {
    EXPECT_FALSE(Extract(Cabinets() + L"truncated.cab"));
    EXPECT_EQ(test::ReadBytes(m_out + L"\\a.txt"), "hello\n");
    EXPECT_FALSE(test::Exists(m_out + L"\\sub\\dir\\big.bin"));
}

// Memory running out while a file is written (here: a derived extractor that throws) ends the
// extraction with an error; nothing is thrown out of it.
class ThrowingExtract : public CExtract {
public:
    int FileWrite(int, const void*, unsigned) override { throw std::bad_alloc(); }
};

TEST_F(ExtractTest, AnExceptionInACallbackEndsTheExtractionAsAnError) {
    ThrowingExtract extractor;
    ASSERT_TRUE(extractor.Init());
    bool ok = true;
    EXPECT_NO_THROW(ok = extractor.Extract((Cabinets() + L"gcab_plain.cab").c_str(), m_out.c_str()));
    EXPECT_FALSE(ok);
    EXPECT_EQ(extractor.LastError().code, Cabinet::kErrorOutOfMemory);
}

TEST_F(ExtractTest, BadArgumentsFailBeforeTheLibraryIsCalled) {
    CExtract extractor;
    ASSERT_TRUE(extractor.Init());
    const std::wstring cab = Cabinets() + L"gcab_plain.cab";
    EXPECT_FALSE(extractor.Extract((m_folder / L"c").c_str(), m_out.c_str()));  // one-character name
    EXPECT_EQ(extractor.LastError().code, Cabinet::kErrorBadArguments);
    EXPECT_FALSE(extractor.Extract(L"gcab_plain.cab", m_out.c_str()));  // no folder
    EXPECT_EQ(extractor.LastError().code, Cabinet::kErrorBadArguments);
    EXPECT_FALSE(extractor.Extract(cab.c_str(), L"D"));
    EXPECT_EQ(extractor.LastError().code, Cabinet::kErrorBadArguments);
    // "C:" becomes "C:\" and passes the check; the missing cabinet then fails in the library.
    EXPECT_FALSE(extractor.Extract((m_folder / L"missing.cab").c_str(), L"C:"));
    EXPECT_NE(extractor.LastError().code, Cabinet::kErrorBadArguments);
    EXPECT_TRUE(extractor.LibraryError().fError);
}

// Sets of cabinets whose headers name the next one. The extractor below counts the cabinets
// that the library opens and stops a run that opens far more than any set holds, so that a
// chain that loops ends the test instead of running for ever.
class ChainExtract : public CExtract {
public:
    int FileOpen(const wchar_t* path, int flags, int permission) override {
        const size_t length = wcslen(path);
        if (length > 4 && _wcsicmp(path + length - 4, L".cab") == 0 && ++m_cabinetsOpened > 100) Abort();
        return CExtract::FileOpen(path, flags, permission);
    }
    int m_cabinetsOpened = 0;
};

class CabinetChainTest : public ExtractTest {
protected:
    bool ExtractChain(const wchar_t* first) {
        test::RemoveTree(m_out);
        ChainExtract extractor;
        EXPECT_TRUE(extractor.Init());
        const bool ok = extractor.Extract((Cabinets() + L"chain\\" + first).c_str(), m_out.c_str());
        m_error = extractor.LastError();
        m_opened = extractor.m_cabinetsOpened;
        return ok;
    }
    std::string Text(const std::wstring& cabinet) { return test::ReadBytes(m_out + L"\\" + cabinet + L".txt"); }

    int m_opened = 0;
};

TEST_F(CabinetChainTest, ASetIsReadThroughTheCabinetsItsHeadersName) {
    ASSERT_TRUE(ExtractChain(L"set_1.cab")) << m_error.code;
    for (const wchar_t* cabinet : {L"set_1.cab", L"set_2.cab", L"set_3.cab"}) {
        EXPECT_EQ(Text(cabinet), "in " + Utf8(cabinet) + "\n");
    }
}

TEST_F(CabinetChainTest, ACabinetNamedAgainEndsTheExtractionWithAnError) {
    EXPECT_FALSE(ExtractChain(L"self.cab"));
    EXPECT_EQ(m_error.code, Cabinet::kErrorCabinetChain);
    EXPECT_LT(m_opened, 10) << "the cabinet that names itself was read again and again";
    EXPECT_EQ(Text(L"self.cab"), "in self.cab\n");

    // Two that name each other, in another case than their files have.
    EXPECT_FALSE(ExtractChain(L"cycle_a.cab"));
    EXPECT_EQ(m_error.code, Cabinet::kErrorCabinetChain);
    EXPECT_LT(m_opened, 10);
    EXPECT_EQ(Text(L"cycle_b.cab"), "in cycle_b.cab\n");

    // The same with letters that only the file system's comparison folds: the first cabinet is
    // known again by the name its successor gives it, not read a second time.
    EXPECT_FALSE(ExtractChain(L"cycle_\u00e9.cab"));
    EXPECT_EQ(m_error.code, Cabinet::kErrorCabinetChain);
    EXPECT_EQ(m_opened, 2);
}

TEST_F(CabinetChainTest, AChainLongerThanAPayloadHoldsEndsAtItsBound) {
    EXPECT_FALSE(ExtractChain(L"long_01.cab"));
    EXPECT_EQ(m_error.code, Cabinet::kErrorCabinetChain);
    wchar_t name[16];
    for (size_t i = 1; i <= 12; ++i) {
        swprintf(name, 16, L"long_%02u.cab", static_cast<unsigned>(i));
        EXPECT_EQ(test::Exists(m_out + L"\\" + name + L".txt"), i <= Cabinet::kMaxChainCabinets) << Utf8(name);
    }
}

TEST_F(CabinetChainTest, ANextCabinetOutsideTheFolderIsNeverOpened) {
    ASSERT_TRUE(test::Exists(Cabinets() + L"outside.cab"));
    EXPECT_FALSE(ExtractChain(L"up.cab"));
    EXPECT_EQ(m_error.code, Cabinet::kErrorCabinetChain);
    EXPECT_EQ(m_opened, 1);
    EXPECT_FALSE(test::Exists(m_out + L"\\outside.txt"));
    for (const wchar_t* name : {L"b.cab", L"set_2.cab", L"长名.cab"}) EXPECT_TRUE(Cabinet::IsPlainFileName(name));
    for (const wchar_t* name : {L"..\\outside.cab", L"sub/b.cab", L"C:b.cab", L"\\b.cab", L"", L"..", L"nul"}) {
        EXPECT_FALSE(Cabinet::IsPlainFileName(name)) << Utf8(name);
    }
}

TEST(BindingTest, AnExtractorServesOnlyItsOwnThread) {
    CExtract extractor;
    ASSERT_TRUE(extractor.Init());
    bool extracted = true;
    std::thread other([&] { extracted = extractor.Extract((Cabinets() + L"gcab_plain.cab").c_str(), L"C:\\x"); });
    other.join();
    EXPECT_FALSE(extracted);
    EXPECT_EQ(extractor.LastError().code, Cabinet::kErrorWrongThread);
}

TEST(BindingTest, OneExtractorAtATimeOnAThread) {
    {
        CExtract first;
        ASSERT_TRUE(first.Init());
        CExtract second;
        EXPECT_FALSE(second.Init());
        EXPECT_EQ(second.LastError().code, Cabinet::kErrorThreadBusy);
    }
    CExtract after;  // the first one's slot was freed with it
    EXPECT_TRUE(after.Init());
}

}  // namespace
