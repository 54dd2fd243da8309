// InstallContext and ReportProgress: what the install, uninstall and repair sequences share,
// and how they report their lines and progress positions.
#pragma once
#include <windows.h>

#include "app/run_state.h"

class ProgressLog;

struct InstallContext {
    HWND owner;             // the dialog whose controls receive the output; null unattended
    HWND details;           // its list box 1006
    HWND progress;          // its progress bar 1008, may be absent
    HWND currentOperation;  // its edit 1004, may be absent; nothing writes to it
    RUNSTATE* runState;
    int restartNeeded;      // set when something is replaced or deleted only at the next restart
    int position;           // the last progress position reported
    void* packageRecord;    // install and repair: PACKAGECONFIG; uninstall: INSTALLEDPACKAGE
    wchar_t installFolder[kPathChars];  // ends in a backslash once the sequence has started
    ProgressLog* log;       // unattended runs: every reported line also goes here
};

// Fills a context for an install or repair run over the owner's controls (owner may be null).
void InitInstallContext(InstallContext& context, HWND owner, PACKAGECONFIG* record);

// Stores and shows `position` when it is 0 or more; appends and selects `line` when given.
void ReportProgress(InstallContext& context, int position, const wchar_t* line);

inline PACKAGECONFIG& PackageOf(const InstallContext& context) {
    return *static_cast<PACKAGECONFIG*>(context.packageRecord);
}
