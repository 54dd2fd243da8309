// The installation folder's rule: where an install may go, and so what an uninstall may empty.
#pragma once
#include "run/run_state.h"

// What CheckInstallFolder makes of a folder given for an installation.
enum class FolderVerdict {
    kUsable,   // an install may go there (and an uninstall may empty it, if it holds Unstall.exe)
    kNotFull,  // relative, drive-less or rooted without a drive, or with empty, "." or ".." steps
    kRefused,  // a full path that names or lies in a folder of the system's, or no plain folder
};

// The one rule for an installation folder, which the destination page, /D= and the check
// before an uninstall deletes share, so that nothing is installed where it could not be
// uninstalled. The folder (a trailing backslash optional) must be a full path below a drive or
// share root, whose steps are plain (IsPlainPathStep: no wildcard, colon, control character,
// device name, or trailing dot or blank); it is compared by its full path with long names. Refused are: a drive or share root, an
// administrative share (\\host\C$), a device path (\\?\, \\.\), every folder in the Windows
// folder, the profiles folder or an application-data folder (all users', roaming, local), and
// a folder that is or holds one of the system's own (program files of either view, the system
// folder, fonts, the shell's folders, temp); a subfolder of a program-files folder is usable.
// With kUsable, folder holds the normalised path with its trailing backslash, else it is empty.
FolderVerdict CheckInstallFolder(const wchar_t* path, wchar_t (&folder)[kPathChars]);
