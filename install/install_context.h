// InstallContext and ReportProgress: what the install, uninstall and repair sequences share,
// and how they report their lines and progress positions.
#pragma once
#include <windows.h>

#include "payload/records.h"
#include "run/change_recorder.h"
#include "run/run_state.h"

// Where a sequence's report goes: the list and progress bar of a dialog, or the log of an
// unattended run.
class ProgressSink {
public:
    virtual void ShowLine(const wchar_t* line) = 0;
    virtual void ShowPosition(int position) = 0;

protected:
    ~ProgressSink() = default;
};

struct InstallContext {
    InstallContext(RUNSTATE& state, ProgressSink* sink, bool watched)
        : runState(state), sink(sink), watched(watched) {}

    RUNSTATE& runState;
    ProgressSink* sink;       // null: the report goes nowhere
    bool watched;             // a user watches the run: a dialog, not an unattended run
    const PACKAGECONFIG* package = nullptr;      // install and repair: the package's record
    const INSTALLEDPACKAGE* installed = nullptr;  // uninstall: the installed package
    int restartNeeded = 0;    // set when something is replaced or deleted only at the next restart
    int position = 0;         // the last progress position reported
    wchar_t installFolder[kPathChars] = {};  // ends in a backslash once the sequence has started
    // Told of what the run changes; never null: NoRecorder() when nothing is to be undone.
    ChangeRecorder* journal = &NoRecorder();
};

// Stores and shows `position` when it is 0 or more; shows `line` when given.
void ReportProgress(InstallContext& context, int position, const wchar_t* line);

inline const PACKAGECONFIG& PackageOf(const InstallContext& context) { return *context.package; }
