// The before/after comparison of the prefix tells files apart by their content, not only by
// their names: the proof that a rollback put back the bytes that were there.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/harness/prefix_snapshot.h"
#include "tests/harness/test_folder.h"

namespace {

FILETIME WriteTimeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

void SetWriteTime(const std::wstring& path, const FILETIME& time) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

struct ContentCase {
    const char* what;
    std::function<void(const std::wstring& file)> change;
    bool differs;
};

TEST(PrefixSnapshotTest, AFileCountsAsChangedExactlyWhenItsBytesChanged) {
    const ContentCase cases[] = {
        {"the same bytes written again", [](const std::wstring& f) { test::WriteBytes(f, "abcdefgh-1"); }, false},
        {"one byte other, same size", [](const std::wstring& f) { test::WriteBytes(f, "abcdefgh-2"); }, true},
        // A restore that copies the wrong bytes but keeps the old write time must still show.
        {"other bytes under the old write time",
         [](const std::wstring& f) {
             const FILETIME old = WriteTimeOf(f);
             test::WriteBytes(f, "abcdefgh-3");
             SetWriteTime(f, old);
         },
         true},
        {"the old bytes back under a new write time",
         [](const std::wstring& f) {
             test::WriteBytes(f, "other");
             Sleep(20);
             test::WriteBytes(f, "abcdefgh-1");
         },
         false},
    };
    test::TestFolder folder;
    const std::wstring file = folder / L"watched.bin";
    for (const ContentCase& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteBytes(file, "abcdefgh-1");
        const std::set<std::wstring> before = test::SnapshotPrefix({});
        c.change(file);
        const std::vector<std::wstring> differences = test::Differences(before, test::SnapshotPrefix({}));
        std::vector<std::wstring> mine;
        for (const std::wstring& line : differences) {
            if (line.find(file + L" #") != std::wstring::npos) mine.push_back(line);
        }
        EXPECT_EQ(mine.size(), c.differs ? 2u : 0u) << "one line gone, one come";
        if (c.differs && mine.size() == 2) {
            EXPECT_EQ(mine[0][0], L'+');
            EXPECT_EQ(mine[1][0], L'-');
        }
    }
}

TEST(PrefixSnapshotTest, AFileHeldWithoutSharingIsListedAsUnreadableNotLeftOut) {
    test::TestFolder folder;
    const std::wstring file = folder / L"held.bin";
    test::WriteBytes(file, "held");
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::set<std::wstring> lines = test::SnapshotPrefix({});
    CloseHandle(held);
    EXPECT_EQ(lines.count(file + L" #unreadable"), 1u);
}

}  // namespace
