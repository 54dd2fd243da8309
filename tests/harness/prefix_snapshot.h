// What the Wine prefix holds where an installer may leave traces: every file of drive C: with
// a hash of its content, every folder, and the keys and values of the registry branches that
// installers write (vendor keys, the uninstall list, fonts, keyboard layouts, the rename
// list), as lines to compare before and after a run.
#pragma once
#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace test {

// Lines: "C:\path #<16 hex digits>" for a file and its content ("#unreadable" when it cannot
// be read), "C:\path\" for a folder, "HKLM\key\" for a key and
// "HKLM\key : name = data" for a value. Folders in skip (with their backslash) are left out, their own line too.
std::set<std::wstring> SnapshotPrefix(const std::vector<std::wstring>& skip);

// The lines of `after` missing from `before` ("+ line") and the other way round ("- line").
std::vector<std::wstring> Differences(const std::set<std::wstring>& before, const std::set<std::wstring>& after);

}  // namespace test
