// RunUninstall: the removal of an installed input method, reported like the install.
#pragma once
#include <windows.h>

#include "install/install_context.h"

// Tells the interface module of the context's installed package to shut down, deletes the
// installation and package data folders, the uninstall entry and the vendor keys, the layout
// and the system IME file and the shortcuts. Every step is attempted; it always ends with "  7.卸载完成." and returns 1.
// The context's restart-needed flag tells whether a deletion waits for the next restart.
int RunUninstall(InstallContext& context);
