// What the Wine prefix holds where an installer may leave traces: every file and folder of
// drive C:, and the keys and values of the registry branches that installers write (vendor
// keys, the uninstall list, fonts, keyboard layouts, the rename list), as lines to compare
// before and after a run.
#pragma once
#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace test {

// Lines: "C:\path" for a file, "C:\path\" for a folder, "HKLM\key\" for a key and
// "HKLM\key : name = data" for a value. Folders in skip (with their backslash) are left out.
std::set<std::wstring> SnapshotPrefix(const std::vector<std::wstring>& skip);

// The lines of `after` missing from `before` ("+ line") and the other way round ("- line").
std::vector<std::wstring> Differences(const std::set<std::wstring>& before, const std::set<std::wstring>& after);

}  // namespace test
