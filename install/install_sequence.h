// RunInstall: the six steps that turn an unpacked payload into an installed input method.
#pragma once
#include "install/install_context.h"

// Runs the sequence into installFolder with the names of the welcome page (or of the
// repair). 1 when all six steps ran, 0 when one failed.
int RunInstall(InstallContext& context, const wchar_t* installFolder, const wchar_t* userName,
               const wchar_t* companyName);

// Step 6, run on failure too: the loose record in the installation folder, the work folder,
// the virtualized copies of the package data.
void RemoveTemporaryFiles(InstallContext& context);

// Undoes the journals that killed runs of the package left (UndoLeftJournals) and reports a
// line for each, for what waits for the restart and for each journal left alone.
void FinishLeftJournals(InstallContext& context, const wchar_t* packageName);
