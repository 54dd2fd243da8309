// Tests of the whole-file mapping: opening, creating, resizing and the fallback copy.
#include "payload/mapfile.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/harness/test_folder.h"

namespace {

std::string Bytes(const void* data, DWORD size) { return std::string(static_cast<const char*>(data), size); }

// Where a file of this name is copied when it cannot be mapped where it is. The folder is
// shared by every test run, so names carry the process id.
std::wstring FallbackCopy(const std::wstring& name) {
    return test::ShellFolder(CSIDL_PERSONAL) + L"\\zuruzez\\" + name;
}

std::wstring UniqueName(const wchar_t* stem) { return stem + std::to_wstring(GetCurrentProcessId()); }

}  // namespace

// Nothing to map

TEST(MapFileTest, MissingOrEmptyFileLeavesNothingMapped) {
    test::TestFolder folder;
    const std::wstring missing = UniqueName(L"missing");
    SR_MapFileIO file;
    EXPECT_EQ(0, file.OpenFile((folder / missing).c_str(), 1));
    EXPECT_FALSE(test::Exists(FallbackCopy(missing)));

    test::WriteBytes(folder / L"empty.bin", "");
    EXPECT_EQ(0, file.OpenFile((folder / L"empty.bin").c_str(), 0));
    EXPECT_EQ(nullptr, file.GetData(0));
    EXPECT_EQ(0u, file.GetSize());
    EXPECT_EQ(0, file.Resize(8));
}

// Reading and writing

TEST(MapFileTest, WritableMappingWritesThroughAndReadOnlyOneCannotResize) {
    test::TestFolder folder;
    test::WriteBytes(folder / L"data.bin", "hello");
    SR_MapFileIO file;
    ASSERT_EQ(1, file.OpenFile((folder / L"data.bin").c_str(), 0));
    EXPECT_EQ("hello", Bytes(file.GetData(0), file.GetSize()));
    EXPECT_EQ(0, file.Resize(10));
    ASSERT_EQ(1, file.OpenFile((folder / L"data.bin").c_str(), 1));
    file.GetData(0)[0] = 'j';
    file.CloseFile();
    EXPECT_EQ("jello", test::ReadBytes(folder / L"data.bin"));
}

TEST(MapFileTest, CreateNewGivesExactlyTheSizeAndFailsForZero) {
    test::TestFolder folder;
    test::WriteBytes(folder / L"out.bin", "a longer old content");
    SR_MapFileIO file;
    ASSERT_EQ(1, file.CreateNew((folder / L"out.bin").c_str(), 4));
    memcpy(file.GetData(0), "abcd", 4);
    file.CloseFile();
    EXPECT_EQ("abcd", test::ReadBytes(folder / L"out.bin"));

    EXPECT_EQ(0, file.CreateNew((folder / L"out.bin").c_str(), 0));
    EXPECT_TRUE(test::Exists(folder / L"out.bin"));
    EXPECT_EQ("", test::ReadBytes(folder / L"out.bin"));
}

TEST(MapFileTest, ResizeKeepsTheContentsItCovers) {
    test::TestFolder folder;
    SR_MapFileIO file;
    ASSERT_EQ(1, file.CreateNew((folder / L"grow.bin").c_str(), 4));
    memcpy(file.GetData(0), "abcd", 4);
    ASSERT_EQ(1, file.Resize(8));
    EXPECT_EQ(std::string("abcd\0\0\0\0", 8), Bytes(file.GetData(0), file.GetSize()));
    memcpy(file.GetData(4), "efgh", 4);
    ASSERT_EQ(1, file.Resize(6));
    file.CloseFile();
    EXPECT_EQ("abcdef", test::ReadBytes(folder / L"grow.bin"));
}

// The fallback copy

// Wine lets a process running as root open a read-only file for writing, so the file is
// also held open without write sharing, which refuses the writable open everywhere.
TEST(MapFileTest, FileThatCannotBeOpenedForWritingIsMappedThroughAWritableCopy) {
    test::TestFolder folder;
    const std::wstring original = folder / UniqueName(L"locked");
    const std::wstring copy = FallbackCopy(UniqueName(L"locked"));
    test::WriteBytes(original, "original");
    SetFileAttributesW(original.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE lock = CreateFileW(original.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);

    MAPFILE* map = nullptr;
    const int opened = MapFileOpen(&map, original.c_str(), 1);
    if (opened) {
        EXPECT_EQ(copy, map->path);
        static_cast<char*>(map->view)[0] = 'O';
        MapFileRelease(map, 1);
    }
    CloseHandle(lock);

    EXPECT_EQ(1, opened);
    EXPECT_EQ("original", test::ReadBytes(original));
    EXPECT_EQ("Original", test::ReadBytes(copy));
    EXPECT_EQ(0u, GetFileAttributesW(copy.c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(FallbackCopy(L"").c_str());  // only when no other copy is left there
}
