// Running the real programs from a test.
#include "tests/harness/program_run.h"

#include <filesystem>
#include <sstream>

#include "tests/harness/prefix_snapshot.h"
#include "tests/harness/process.h"
#include "tests/harness/ui_driver.h"

namespace test {

namespace {

// Longer than any unattended run takes under Wine, shorter than ctest's limit for a test.
const DWORD kRunTimeoutMs = 90000;

}  // namespace

::testing::AssertionResult Completed(DWORD exitCode) {
    if (exitCode == 0 || exitCode == 3010) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "exit code " << exitCode;
}

bool GoneWithin(const std::wstring& path, DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); Exists(path); Sleep(50)) {
        if (GetTickCount() - start > timeoutMs) return false;
    }
    return true;
}

std::vector<std::wstring> LogLines(const std::wstring& path) {
    std::vector<std::wstring> lines;
    std::istringstream in(ReadBytes(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::filesystem::u8path(line.size() > 25 ? line.substr(25) : line).wstring());
    }
    return lines;
}

void ProgramRunTest::SetUp() { CreateDirectoryW(m_temp.c_str(), nullptr); }

DWORD ProgramRunTest::Run(const std::wstring& program, const std::wstring& arguments,
                          const std::wstring& currentFolder) const {
    fw::UniqueHandle first = StartWithTemp(program, arguments, m_temp, currentFolder);
    return WaitForExit(first.Get(), kRunTimeoutMs);
}

DWORD ProgramRunTest::RunCommand(const std::wstring& commandLine) const {
    fw::UniqueHandle first = StartCommandWithTemp(commandLine, m_temp);
    return WaitForExit(first.Get(), kRunTimeoutMs);
}

HWND ProgramRunTest::OpenWindow(const std::wstring& program, const std::wstring& arguments, const wchar_t* title,
                                const std::wstring& currentFolder) const {
    fw::UniqueHandle first = StartWithTemp(program, arguments, m_temp, currentFolder);
    EXPECT_TRUE(first.Valid());
    EXPECT_EQ(WaitForExit(first.Get()), 0u) << "the started process hands over at once";
    return WaitForWindow(0, title);
}

DWORD ProgramRunTest::EndWindow(HWND window, void (*end)(HWND)) {
    fw::UniqueHandle copy = ProcessOfWindow(window);
    if (end) end(window);
    else PostMessageW(window, WM_CLOSE, 0, 0);
    return WaitForExit(copy.Get());
}

void ProgramRunTest::PlaceDemoSetup(const std::wstring& path) {
    WriteBytes(path, ReadBytes(ProgramBeside(L"DemoSetup.exe")));
}

std::set<std::wstring> ProgramRunTest::Snapshot() const { return SnapshotPrefix({m_folder.Path()}); }

std::vector<std::wstring> ProgramRunTest::ChangesSince(const std::set<std::wstring>& before) const {
    return Differences(before, Snapshot());
}

}  // namespace test
