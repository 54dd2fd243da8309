// RunRepair: a fresh install of the package from the backup that its last install kept.
#pragma once
#include <cstddef>

#include "install/install_context.h"

// A name recorded in the uninstall entry: at most 255 characters, as the welcome page's fields.
constexpr size_t kRecordedNameChars = 256;

// What a repair run came to.
enum class RepairOutcome {
    kRepaired,
    kStepFailed,  // an install step failed; the list says which
    kNoBackup,    // the backup is missing, damaged, or holds no package record
};

// "_backup_.dat" of the recorded installation folder, when that folder may be trusted
// and the file can be opened for reading; false otherwise.
bool ReadableBackup(const INSTALLEDPACKAGE& package, wchar_t (&path)[kPathChars]);

// The names recorded in the package's uninstall entry ("RegOwner", "RegCompany"), each
// falling back to the system's registered owner and organisation. Buffers of
// kRecordedNameChars units.
void ReadRecordedNames(const wchar_t* packageName, wchar_t* userName, wchar_t* companyName);

// Unpacks the backup into the payload folder of the context's run state and runs the
// install sequence into the recorded folder with the two names. The context's package
// record is set for the run; nothing is reported when the backup cannot be unpacked.
RepairOutcome RunRepair(InstallContext& context, const INSTALLEDPACKAGE& package, const wchar_t* userName,
                        const wchar_t* companyName);
