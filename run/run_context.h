// The run context: what one run of the program knows, built once at start-up and handed by
// reference to whatever needs a part of it.
#pragma once
#include "payload/records.h"
#include "run/run_state.h"
#include "run/switches.h"
#include "run/wizard_state.h"

// Allocated zero-filled at the start of InitInstance, released at its end.
struct RunContext {
    RUNSTATE state;
    PACKAGECONFIG package;       // install: the payload's InstallInfo.dif
    INSTALLEDPACKAGE installed;  // the package that the command line names, and where it lies
    UNATTENDED switches;
    WIZARDSTATE wizard;          // what the wizard's pages carry between them
    wchar_t startingFolder[kPathChars];  // the current folder the process was started in
};
