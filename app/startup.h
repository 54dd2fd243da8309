// The start-up steps of the application object, each usable on its own by the tests.
#pragma once
#include <windows.h>

#include "app/run_state.h"

// Prepares the work folder, then relaunches the program from its working copy unless it
// already is that copy. Returns 1 to go on (this is the working copy), 0 to stop. With copyExitCode (unattended
// runs) no message box is shown, and the working copy's exit code is waited for and stored.
int EnsureWorkingCopy(const wchar_t* arguments, DWORD* copyExitCode = nullptr);

// Reads the command-line slot into the mode letter, the started path and the package
// name, then the install path from the vendor key.
void ParseCommandLine(RUNSTATE& state, INSTALLEDPACKAGE& package);
void ParseCommandLine();

// "SMEInstallPath" under Software\vexal\<name>, of the user's key, else of the machine's.
// False (path empty) when neither holds it.
bool ReadInstallPath(const wchar_t* packageName, wchar_t* path);

// Starts "%COMSPEC% /c del <own short path>" to run once this process has gone; with
// emptyFolder, "& rmdir <folder>" follows, which removes that folder only when it is empty.
int DeleteSelf(const wchar_t* emptyFolder = nullptr);

// Install-mode preparation.
int SplitInstaller(RUNSTATE& state);
int ExtractPayload(RUNSTATE& state);
int HasInstallInfo(const RUNSTATE& state);
// "InstallInfo.dif" in the payload folder.
void InstallInfoPath(const RUNSTATE& state, wchar_t* path);
