// Placing files under a change recorder: single files, whole trees, and copies staged for the
// next restart.
#include "run/file_placement.h"

#include <cwchar>

#include "run/access.h"
#include "run/folders.h"
#include "run/install_layout.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

int Grant(const wchar_t* path, const TreeCopyOptions& options) {
    return options.grantUsers ? GrantUsersAccess(path) : 1;
}

// Creates each missing folder on the way to the target, a share or drive root failing
// harmlessly, and opens each new one to "Users" when the options ask for it.
void CreateParents(const wchar_t* target, const TreeCopyOptions& options) {
    wchar_t prefix[kPathChars];
    CopyCut(prefix, target);
    for (wchar_t* p = prefix + 1; *p; ++p) {
        if (*p != L'\\') continue;
        *p = 0;
        if (!PathExists(prefix) && options.recorder->BeforeFolderCreate(prefix) && CreateDirectoryW(prefix, nullptr)) {
            Grant(prefix, options);
        }
        *p = L'\\';
    }
}

using Prior = ChangeRecorder::Prior;

// A copy that waits for the restart gets a name of its own in the temporary folder: two files
// of one name from different folders may both be in use, and each must keep its own bytes.
// The recorder learns of the staged file and of the rename before either can outlive the run.
int StageInTemp(const wchar_t* source, const wchar_t* target, const TreeCopyOptions& options) {
    wchar_t temp[kPathChars] = {}, staged[kPathChars];
    const DWORD length = GetTempPathW(kPathChars, temp);
    if (!length || length >= kPathChars || !ReserveFileName(temp, kStagedFilePrefix, staged)) return 0;
    if (!options.recorder->FileCreated(staged)) {
        DeleteFileW(staged);
        return 0;
    }
    if (!StageForRestart(source, staged, target, *options.recorder, options.grantUsers)) return 0;
    if (options.restartNeeded) *options.restartNeeded = 1;
    return 1;
}

// Moves (move) or copies a file over its target, or stages it for the next restart.
int PlaceOne(const wchar_t* source, const wchar_t* target, bool move, const TreeCopyOptions& options) {
    const Prior prior = options.recorder->BeforeFileWrite(target);
    if (prior == Prior::kRefused) return 0;
    if (prior != Prior::kNotKept) {
        // Moving within a volume gives the same result as copying and deleting, without
        // writing the data a second time; a target in use makes it fail like the copy.
        const bool moved = move && MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING);
        if (moved || CopyFileW(source, target, FALSE)) {
            Grant(target, options);
            if (move && !moved) DeleteFileW(source);
            return 1;
        }
    }
    if (!StageInTemp(source, target, options)) return 0;
    if (move) DeleteFileW(source);
    return 1;
}

// Tells the recorder of the folder `to` and of everything that a rename of `from` would bring
// into it, parents before what they hold, so that an undo empties each folder before removing
// it. False when the tree holds what a copy would leave behind (a folder whose name begins
// with "." other than the parent's entry, a link or junction) or a record could not be made.
bool RecordMovedTree(const wchar_t* from, const wchar_t* to, ChangeRecorder& recorder) {
    if (!recorder.BeforeFolderCreate(to)) return false;
    bool movable = true;
    ForEachEntry(from, [&](const WIN32_FIND_DATAW& found) {
        if (!movable) return;
        wchar_t fromChild[kPathChars], toChild[kPathChars];
        JoinPath(toChild, to, found.cFileName);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            movable = false;
        } else if (!IsFolderEntry(found)) {
            movable = recorder.FileCreated(toChild);
        } else if (wcscmp(found.cFileName, L"..") != 0) {
            JoinPath(fromChild, from, found.cFileName);
            movable = found.cFileName[0] != L'.' && RecordMovedTree(fromChild, toChild, recorder);
        }
    });
    return movable;
}

// Moves a whole folder by one rename when its target does not exist yet: the same files in
// the same places as moving them one by one, at the cost of one call instead of one per file.
// Only where nothing is to be opened to "Users", since a rename keeps the access lists it
// finds. False, with nothing moved, when the tree must go file by file: a target that exists,
// a tree a copy would not take whole, or a rename that the system refuses (another volume).
// Records already made then stand for files that the copy records again or never makes, both
// of which an undo passes over.
bool MoveWholeFolder(const wchar_t* from, const wchar_t* to, const TreeCopyOptions& options) {
    if (options.grantUsers || PathExists(to)) return false;
    // Thousands of records for one rename: written together, and before it.
    options.recorder->HoldRecords();
    const bool recorded = RecordMovedTree(from, to, *options.recorder);
    if (!options.recorder->WriteHeldRecords()) return false;
    return recorded && MoveFileExW(from, to, 0);
}

}  // namespace

bool ReserveFileName(const wchar_t* folder, const wchar_t* prefix, wchar_t* out) {
    // The system's own bound for the folder of such a name.
    return wcslen(folder) < MAX_PATH - 14 && GetTempFileNameW(folder, prefix, 0, out);
}

bool StageForRestart(const wchar_t* source, const wchar_t* staged, const wchar_t* target, ChangeRecorder& recorder,
                     bool grantUsers) {
    if (CopyFileW(source, staged, FALSE) && (!grantUsers || GrantUsersAccess(staged)) &&
        recorder.BeforeRestartRename(staged, target) &&
        MoveFileExW(staged, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
        return true;
    }
    DeleteFileW(staged);
    return false;
}

// The staged copy is renamed into place with its access list, so it is opened to "Users"
// only when the target is.
int PlaceFile(const wchar_t* source, const wchar_t* target, const TreeCopyOptions& options) {
    return PlaceOne(source, target, false, options);
}

bool CreateFolderRecorded(const wchar_t* folder, ChangeRecorder& recorder) {
    if (!PathExists(folder)) {
        if (!recorder.BeforeFolderCreate(folder)) return false;
        CreateDirectoryW(folder, nullptr);
    }
    const DWORD attributes = GetFileAttributesW(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int ReplaceFileWhole(const wchar_t* source, const wchar_t* target) {
    wchar_t folder[kPathChars], staged[kPathChars];
    CopyCut(folder, target);
    wchar_t* slash = wcsrchr(folder, L'\\');
    // The whole target within the bound of a reserved name: the staged copy is never the longer.
    if (!slash || wcslen(folder) >= MAX_PATH - 14) return 0;
    slash[1] = 0;
    if (!ReserveFileName(folder, kReplacementPrefix, staged)) return 0;
    if (CopyFileW(source, staged, FALSE) &&
        MoveFileExW(staged, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return 1;
    }
    DeleteFileW(staged);
    return 0;
}

bool CreateFolderPath(const wchar_t* target, const TreeCopyOptions& options) {
    if (PathExists(target)) return true;
    CreateParents(target, options);
    if (PathExists(target)) return true;
    if (!CreateFolderRecorded(target, *options.recorder)) return false;
    Grant(target, options);
    return true;
}

int CopyFolderTree(const wchar_t* source, const wchar_t* target, int keepSource, const TreeCopyOptions& options) {
    if (!CreateFolderPath(target, options)) return 0;
    int complete = 1;
    ForEachEntry(source, [&](const WIN32_FIND_DATAW& found) {
        wchar_t from[kPathChars], to[kPathChars];
        JoinPath(from, source, found.cFileName);
        JoinPath(to, target, found.cFileName);
        if (!IsFolderEntry(found)) {
            if (!PlaceOne(from, to, !keepSource, options)) complete = 0;
        } else if (found.cFileName[0] != L'.') {
            const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (!keepSource && !link && MoveWholeFolder(from, to, options)) return;
            if (!CopyFolderTree(from, to, keepSource, options)) complete = 0;
        }
    });
    return complete;
}
