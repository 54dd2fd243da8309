// The start-up steps of the application object, each usable on its own by the tests.
#pragma once
#include <windows.h>

#include "run/run_state.h"

// The first thing every process of the program does, after narrowing the DLL search: it
// makes the system folder its current folder. The shortcuts start it inside the installation
// folder, which cannot be removed while a process holds it as its current folder, and every
// process that it starts inherits the folder.
// startingFolder receives the current folder that the process had before (empty when it is too
// long), so that a relative path given on the command line still names what the user meant;
// the working copy is started there too.
void EnterSystemFolder(wchar_t (&startingFolder)[kPathChars]);
// path made full against startingFolder (an absolute one stays), into kPathChars units.
void FullPathFromStartingFolder(const wchar_t* startingFolder, const wchar_t* path, wchar_t* out);

// Whether this process is the working copy: its own path holds the working copy's name
// anywhere, in that case, as the first process and the lock's wait both take it.
bool IsWorkingCopy(const RUNSTATE& state);

// Prepares the work folder, then relaunches the program from its working copy unless it
// already is that copy. Returns 1 to go on (this is the working copy), 0 to stop. With copyExitCode (unattended
// runs) no message box is shown, and the working copy's exit code is waited for and stored.
int EnsureWorkingCopy(RUNSTATE& state, const wchar_t* arguments, const wchar_t* startingFolder,
                      DWORD* copyExitCode = nullptr);

// Reads the command-line slot into the mode letter, the started path and the package
// name, then the install path from the vendor key.
void ParseCommandLine(RUNSTATE& state, INSTALLEDPACKAGE& package);


// Starts the command interpreter to delete this program's file once this process has gone;
// with emptyFolder, it then removes that folder, only when it is empty. The interpreter runs
// in the system folder, so that it holds no folder that it is to remove.
int DeleteSelf(const wchar_t* emptyFolder = nullptr);

// Room for the interpreter's and the pause's paths, the file's and the folder's, and the text.
constexpr int kSelfDeleteCommandChars = 5 * kPathChars;

// The interpreter's command line of DeleteSelf. The interpreter and the pause before del are
// named by their full paths in `system` (the process is elevated: %COMSPEC% or a bare name
// would run what the user chose); /d keeps the registry's AutoRun commands out; /s makes it
// take off only the outer pair of quotes, so that every path keeps its own.
void MakeSelfDeleteCommand(wchar_t* command, const wchar_t* system, const wchar_t* file, const wchar_t* emptyFolder);

