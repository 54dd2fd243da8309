// What an uninstall or a repair may trust of the installed-package record. Its name comes
// from the command line and its folder from a registry value that anyone with the rights can
// change; both decide what gets deleted, so both are checked before they are used (the name
// by IsPlainPackageName of payload/records.h).
#pragma once
#include "run/run_state.h"

// The recorded installation folder, normalised and with its trailing backslash, in out; false
// (out empty) when there is none, when it breaks the installation-folder rule
// (CheckInstallFolder of run/folders.h) or when it holds no Unstall.exe.
bool InstalledFolder(const INSTALLEDPACKAGE& package, wchar_t (&out)[kPathChars]);
