// Install-mode preparation: split the own executable into the bare program and the still
// enciphered payload, unpack the payload, and find the package's configuration record.
#pragma once
#include "run/run_state.h"

int SplitInstaller(RUNSTATE& state);
int ExtractPayload(RUNSTATE& state);
int HasInstallInfo(const RUNSTATE& state);
// "InstallInfo.dif" in the payload folder.
void InstallInfoPath(const RUNSTATE& state, wchar_t* path);
