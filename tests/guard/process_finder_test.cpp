// The process finder against real holders: helper processes that load a copy of an IME module.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/handles.h"
#include "guard/process_finder.h"
#include "tests/harness/module_holder.h"
#include "tests/harness/test_folder.h"

namespace {

using test::ProgramBeside;
using test::Holder;
using test::TestFolder;

// A copy of the test IME module under the given name in the folder; its path.
std::wstring CopyModule(const TestFolder& folder, const std::wstring& name) {
    const std::wstring path = folder / name;
    EXPECT_TRUE(CopyFileW(ProgramBeside(L"SrGuardTest.ime").c_str(), path.c_str(), FALSE));
    return path;
}

// Finding

TEST(ProcessFinderTest, ListsAHolderByNameAndIdWhateverTheCase) {
    TestFolder folder;
    Holder holder(CopyModule(folder, L"SrGuardTest(1).ime"));
    ASSERT_TRUE(holder.Ready());

    ProcessFinder finder;
    ASSERT_EQ(finder.CheckLoaded(L"srguardtest(1).IME"), 1);
    const ProcessEntry& entry = finder.Entries()[0];
    EXPECT_EQ(entry.processId, holder.Id());
    EXPECT_EQ(_wcsicmp(entry.name, L"SrModuleHolder.exe"), 0) << entry.name;

    const std::wstring id = std::to_wstring(holder.Id());
    EXPECT_EQ(HolderLine(entry, false), L"进程ID: " + id + L"    进程名称: " + entry.name);
    EXPECT_EQ(HolderLine(entry, true), L"ID: " + id + L"    NAME: " + entry.name);
    ProcessEntry forged = entry;
    wcscpy(forged.name, L"a.exe\r\n2026-12-11 12:00:00.000  x");
    EXPECT_EQ(HolderLine(forged, true), L"ID: " + id + L"    NAME: a.exe??2026-12-11 12:00:00.000  x");
}

TEST(ProcessFinderTest, MatchesOnlyPathsEndingWithTheWholeKeyOfANameOf39Characters) {
    TestFolder folder;
    Holder backup(CopyModule(folder, L"SrGuardBak(1).ime.bak"));
    // The key of a name of 39 characters has 46; cut to 39 it would end in "(1).i" or sooner.
    const std::wstring longName = L"SrGuardLong" + std::wstring(28, L'x') + L"(1).ime";
    Holder fullName(CopyModule(folder, longName));
    // A module file named as the key cut to 39 characters, loaded without ".dll" appended.
    Holder cutName(CopyModule(folder, longName.substr(0, 39)) + L".");
    ASSERT_TRUE(backup.Ready() && fullName.Ready() && cutName.Ready());

    ProcessFinder finder;
    EXPECT_EQ(finder.CheckLoaded(L"SrGuardBak(1).ime"), 0);
    EXPECT_TRUE(ProcessFinder::HoldsModule(L"(1).IME.bak", backup.Id()));

    ASSERT_EQ(longName.size(), 46u);
    ASSERT_EQ(finder.CheckLoaded(longName.c_str()), 1);
    EXPECT_EQ(finder.Key(), longName);
    EXPECT_EQ(finder.Entries()[0].processId, fullName.Id());
}

// Ending

TEST(ProcessFinderTest, EndsEveryHolderButItsOwnProcess) {
    TestFolder folder;
    const std::wstring module = CopyModule(folder, L"SrGuardEnd(1).ime");
    Holder holder(module);
    ASSERT_TRUE(holder.Ready());
    HMODULE own = LoadLibraryW(module.c_str());
    ASSERT_TRUE(own);
    EXPECT_TRUE(ProcessFinder::HoldsModule(L"SrGuardEnd(1).ime", GetCurrentProcessId()));

    ProcessFinder finder;
    ASSERT_EQ(finder.CheckLoaded(L"SrGuardEnd(1).ime"), 1);
    EXPECT_EQ(finder.Entries()[0].processId, holder.Id());
    // Wine drops a terminated process from the list before TerminateProcess returns.
    EXPECT_EQ(finder.EndAllHolders(), 0);
    EXPECT_TRUE(finder.Entries().empty());
    ASSERT_EQ(WaitForSingleObject(holder.Process(), 20000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(holder.Process(), &exitCode);
    EXPECT_EQ(exitCode, STILL_ACTIVE);
    EXPECT_EQ(finder.EndAllHolders(), 0);

    FreeLibrary(own);
}

}  // namespace
