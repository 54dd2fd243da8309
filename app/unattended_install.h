// The unattended install of the working copy.
#pragma once
#include "app/unattended.h"

// Installs the prepared payload with the switches' folder and names (or their defaults);
// `prepared` tells whether the payload could be unpacked and its record read. The exit code.
int RunUnattendedInstall(bool prepared, PACKAGECONFIG& config, const UNATTENDED& switches);
