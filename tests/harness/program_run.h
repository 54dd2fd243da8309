// A test that runs the real programs: a scratch folder with a temporary folder of its own, so
// that their work folder lies inside it, and the ways to start one, wait for its end or its
// window, read its log and see what it changed in the prefix.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "tests/harness/test_folder.h"

namespace test {

// Whether a run ended as a successful one ends: 0, or 3010 when a restart is needed.
::testing::AssertionResult Completed(DWORD exitCode);

// Polls until the path is gone; false when it is still there after the timeout.
bool GoneWithin(const std::wstring& path, DWORD timeoutMs = 15000);

// The lines of a program's log without their time stamps ("YYYY-MM-DD hh:mm:ss.mmm  ").
std::vector<std::wstring> LogLines(const std::wstring& path);

class ProgramRunTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Runs the program to its end in currentFolder (empty: this process's own); its exit code,
    // STILL_ACTIVE when it has not ended in time.
    DWORD Run(const std::wstring& program, const std::wstring& arguments,
              const std::wstring& currentFolder = std::wstring()) const;
    // The same for a whole command line, as the system runs an uninstall entry's command.
    DWORD RunCommand(const std::wstring& commandLine) const;

    // Starts the program as a user does: the started process hands over to its working copy at
    // once, ending with 0, and the copy opens a window titled `title` (any title when null).
    // That window; null when none came.
    HWND OpenWindow(const std::wstring& program, const std::wstring& arguments, const wchar_t* title,
                    const std::wstring& currentFolder = std::wstring()) const;
    // Ends a window of a working copy by `end` (by closing it when null) and waits for that
    // copy to end; its exit code.
    static DWORD EndWindow(HWND window, void (*end)(HWND) = nullptr);
    // Whether the working copy has deleted itself from the work folder.
    bool WorkingCopyGone() const { return GoneWithin(m_work + L"___temp.exe"); }

    // The sample installer, copied to `path`.
    static void PlaceDemoSetup(const std::wstring& path);

    // The prefix as a snapshot sees it, leaving out the scratch folder; what changed since.
    std::set<std::wstring> Snapshot() const;
    std::vector<std::wstring> ChangesSince(const std::set<std::wstring>& before) const;

    TestFolder m_folder;
    const std::wstring m_temp = m_folder / L"tmp\\";
    const std::wstring m_work = m_temp + L"__SRIMEInstall\\";
};

}  // namespace test
