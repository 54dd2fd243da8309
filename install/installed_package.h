// What an uninstall or a repair may trust of the installed-package record. Its name comes
// from the command line and its folder from a registry value that anyone with the rights can
// change; both decide what gets deleted, so both are checked before they are used (the name
// by IsPlainPackageName of payload/records.h).
#pragma once
#include "run/run_state.h"

// The recorded installation folder, with its trailing backslash, in out; false (out empty)
// when there is none or it is no folder that an uninstall may empty: a relative path, a
// drive or share root, a path with "." or ".." steps, or a folder that is or holds one of
// the system's own folders (Windows, program files, profiles, application data, temp).
bool InstalledFolder(const INSTALLEDPACKAGE& package, wchar_t (&out)[kPathChars]);
