// System DLLs from the system folder only: the loads at run time, and the search that the
// program narrows first thing. SrPlanted.dll lies beside this test program.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/system_library.h"
#include "tests/harness/test_folder.h"

namespace {

std::wstring ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

// With the loader's search flags and without them (a Windows 7 that lacks its update, which
// Wine cannot be: there the path is named in full).
TEST(LoadSystemLibraryTest, ComesFromTheSystemFolderAndNeverFromBesideTheProgram) {
    for (bool searchFlags : {true, false}) {
        HMODULE version = LoadSystemLibrary(L"version.dll", searchFlags);
        ASSERT_TRUE(version) << searchFlags;
        EXPECT_EQ(_wcsicmp(ModulePath(version).c_str(), (test::SystemFolder() + L"\\version.dll").c_str()), 0) << searchFlags;
        FreeLibrary(version);
        ASSERT_TRUE(test::Exists(test::ProgramBeside(L"SrPlanted.dll")));
        EXPECT_FALSE(LoadSystemLibrary(L"SrPlanted.dll", searchFlags)) << searchFlags;
    }
}

TEST(RestrictDllSearchTest, ADllBesideTheProgramIsNoLongerFoundByItsName) {
    ASSERT_TRUE(HasDllSearchFlags());
    EXPECT_TRUE(RestrictDllSearch());
    EXPECT_FALSE(LoadLibraryW(L"SrPlanted.dll"));
    HMODULE version = LoadLibraryW(L"version.dll");
    EXPECT_TRUE(version);
    if (version) FreeLibrary(version);
}

// A kernel without SetDefaultDllDirectories, as on a Windows 7 without its loader update:
// this test program's own module stands in for it. The fallback's empty DLL folder takes the
// current folder out of the search on Windows; Wine ignores an empty one, so only the decision
// shows here (the loads at run time then name the system folder in full, as tested above).
TEST(RestrictDllSearchTest, WithoutSetDefaultDllDirectoriesTheSearchFlagsAreNotUsed) {
    HMODULE oldKernel = GetModuleHandleW(nullptr);
    EXPECT_FALSE(HasDllSearchFlags(oldKernel));
    EXPECT_FALSE(RestrictDllSearch(oldKernel));
    // The search as this process had it: a DLL beside the program is still found by name.
    HMODULE planted = LoadLibraryW(L"SrPlanted.dll");
    EXPECT_TRUE(planted);
    if (planted) FreeLibrary(planted);
}

}  // namespace
