// The unattended install of the working copy.
#pragma once
#include "install/install_context.h"
#include "run/run_context.h"

// Installs the prepared payload with the switches' folder (or the recorded folder of the
// package's installation, or the default) and names (or their defaults);
// `prepared` tells whether the payload could be unpacked and its record read. The exit code.
int RunUnattendedInstall(bool prepared, RunContext& run);

// Whether no process holds "<name>(1).ime"; with /FORCECLOSE the holders are ended first.
// Every holder that stays is logged with its name and id.
bool ModuleFreeUnattended(const wchar_t* packageName, const UNATTENDED& switches, InstallContext& context);
