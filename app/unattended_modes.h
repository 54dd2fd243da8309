// The unattended uninstall and repair of the working copy: the dialogs' work without windows,
// their lines in the log and their outcome in the exit code.
#pragma once
#include "run/run_context.h"

// Removes the package named on the command line (the run's installed-package record).
// 0, or 3010 when a deletion waits for the next restart; 32 when the module is in use;
// 1639 when the name is no plain package name; 1603, with nothing deleted, when the recorded
// installation folder is not confirmed.
int RunUnattendedUninstall(RunContext& run);

// Reinstalls the package from its backup with the names of its uninstall entry. 0 or 3010
// as the install; 1620 when the backup is missing or damaged; 1603 when an install step
// failed; 32 when the module is in use; 1639 when the name is no plain package name.
int RunUnattendedRepair(RunContext& run);

// Whether this process, started with `arguments`, is the uninstaller inside the folder of
// the installation that those arguments uninstall. Such a starter waits for its working
// copy and holds its own file meanwhile, so it removes itself and the folder afterwards.
bool IsInstallationsOwnUninstaller(const wchar_t* arguments, const wchar_t* ownPath);
