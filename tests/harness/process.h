// Starting the real programs with a temporary folder of the test's own, and looking at
// the processes they start.
#pragma once
#include <windows.h>

#include <string>

#include "framework/handles.h"

namespace test {

// This process's environment block with TMP and TEMP pointing at tempFolder.
std::wstring EnvironmentWithTemp(const std::wstring& tempFolder);

// Starts `program arguments` with TMP and TEMP pointing at tempFolder, so that the
// program's work folder lies inside the test's scratch folder, and in currentFolder (empty:
// this process's own). Returns the process.
fw::UniqueHandle StartWithTemp(const std::wstring& program, const std::wstring& arguments,
                               const std::wstring& tempFolder, const std::wstring& currentFolder = std::wstring());

// The same for a whole command line whose program is not named apart, as the system runs an
// uninstall entry's command: a path with blanks and no quotes is tried piece by piece.
fw::UniqueHandle StartCommandWithTemp(const std::wstring& commandLine, const std::wstring& tempFolder,
                                      const std::wstring& currentFolder = std::wstring());

// Waits for the process to end; returns its exit code, or STILL_ACTIVE on timeout.
DWORD WaitForExit(HANDLE process, DWORD timeoutMs = 20000);

// The full command line and the image path of another process.
std::wstring CommandLineOf(HANDLE process);
std::wstring ImagePathOf(HANDLE process);

// The process that owns a window, opened for querying and waiting.
fw::UniqueHandle ProcessOfWindow(HWND window);

}  // namespace test
