// Step 4 of the install: the payload file kept as "_backup_.dat" for a later repair.
#include "install/install_steps.h"

#include "run/file_placement.h"
#include "run/install_layout.h"
#include "support/path.h"

namespace {

bool SameFile(const wchar_t* a, const wchar_t* b) {
    wchar_t fullA[kPathChars], fullB[kPathChars];
    const DWORD lengthA = GetFullPathNameW(a, kPathChars, fullA, nullptr);
    const DWORD lengthB = GetFullPathNameW(b, kPathChars, fullB, nullptr);
    return lengthA && lengthA < kPathChars && lengthB && lengthB < kPathChars && SamePath(fullA, fullB);
}

}  // namespace

int BackupPayload(InstallContext& context) {
    const wchar_t* payload = context.runState.payloadFile;
    wchar_t backup[kPathChars];
    JoinPath(backup, context.installFolder, kBackupFile);
    // A repair unpacks from the backup itself: it is already what it should be, and a
    // replacement of the file by itself would only ask for a pointless restart.
    if (SameFile(payload, backup)) return 1;
    // Like the rest of the installation folder, it keeps the list it inherits: a repair
    // installs whatever it holds, elevated.
    ChangeRecorder& recorder = *context.journal;
    const ChangeRecorder::Prior prior = recorder.BeforeFileWrite(backup);
    // A folder of the backup's name: no copy can go there, now or at a restart.
    if (prior == ChangeRecorder::Prior::kRefused) return 0;
    if (prior != ChangeRecorder::Prior::kNotKept && CopyFileW(payload, backup, FALSE)) return 1;

    // The old backup is held open. The payload file goes with the work folder at the end of
    // this run, long before a restart, so the replacement comes from a copy kept beside the
    // backup, which also keeps the rename on one volume. Without either, a later repair would
    // have nothing to repair from: the step fails.
    wchar_t staged[kPathChars];
    JoinPath(staged, context.installFolder, kStagedBackupFile);
    if (!MayWriteFile(recorder, staged) || !StageForRestart(payload, staged, backup, recorder)) return 0;
    context.restartNeeded = 1;
    return 1;
}
