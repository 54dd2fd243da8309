// The interpreter's command line of the self-deletion, run by the interpreter it names.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "app/startup.h"
#include "framework/handles.h"
#include "tests/harness/test_folder.h"

namespace {

// Paths with blanks and an ampersand: unquoted, the interpreter would split them into words
// and commands. Where the volume keeps no short names, the long path is all there is.
TEST(SelfDeleteTest, TheInterpreterFromTheSystemFolderDeletesTheFileThenItsFolderWhateverTheirNames) {
    test::TestFolder scratch;
    const std::wstring folder = scratch / L"Program Files & Co\\Demo IME\\";
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    const std::wstring file = folder + L"Un stall & more.exe";
    test::WriteBytes(file, "MZ");
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);

    wchar_t command[kSelfDeleteCommandChars];
    MakeSelfDeleteCommand(command, system, file.c_str(), folder.c_str());
    // Both programs by their full paths in the system folder, never through %COMSPEC% or a search.
    const std::wstring line = command;
    EXPECT_EQ(line.find(L"\"" + std::wstring(system) + L"\\cmd.exe\" /d /s /c \"\"" + system + L"\\ping.exe\" "), 0u);

    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, system, &startup,
                               &process));
    CloseHandle(process.hThread);
    fw::UniqueHandle interpreter(process.hProcess);
    EXPECT_EQ(WaitForSingleObject(interpreter.Get(), 20000), WAIT_OBJECT_0);
    EXPECT_FALSE(test::Exists(file));
    EXPECT_FALSE(test::Exists(folder)) << "the emptied folder goes too";
    EXPECT_TRUE(test::Exists(scratch / L"Program Files & Co\\")) << "and nothing above it";
}

}  // namespace
