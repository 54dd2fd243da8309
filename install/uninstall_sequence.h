// RunUninstall: the removal of an installed input method, reported like the install.
#pragma once
#include <windows.h>

#include "install/install_context.h"

// Tells the interface module of the context's installed package to shut down, deletes the
// installation and package data folders, the uninstall entry and the vendor keys, the layout
// and the system IME file and the shortcuts. Every step is attempted; it ends with "  7.卸载完成." and returns 1. When the
// recorded folder is not confirmed (InstalledFolder) or the name is no plain package name,
// nothing at all is deleted: it reports the abort after "开始卸载..." and returns 0.
// The context's restart-needed flag tells whether a deletion waits for the next restart.
int RunUninstall(InstallContext& context);
