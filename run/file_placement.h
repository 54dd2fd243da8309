// Placing files under a change recorder: one file over its target, a tree copied or moved,
// a file replaced in one step, and the one way to stage a file for the next restart.
#pragma once
#include <windows.h>

#include "run/change_recorder.h"

// What CopyFolderTree and PlaceFile do beyond copying, and what they tell back.
struct TreeCopyOptions {
    // Opens every folder it creates, every copy and every staged copy to "Users".
    bool grantUsers = false;
    // Set to 1 when a file in use is left to be replaced at the next restart.
    int* restartNeeded = nullptr;
    // Told of every file written and folder created.
    ChangeRecorder* recorder = &NoRecorder();
};

// Creates a folder (an existing one is fine), telling the recorder first when it is new;
// false when it is not there afterwards or the recorder refused.
bool CreateFolderRecorded(const wchar_t* folder, ChangeRecorder& recorder);

// Copies a file over its target or, when the target is in use, stages a copy under a name of
// its own in the temporary folder that replaces it at the next restart, and sets the restart
// flag. 0 when neither worked, or the recorder refused the target (a folder of its name).
int PlaceFile(const wchar_t* source, const wchar_t* target, const TreeCopyOptions& options);

// Copies (keepSource != 0) or moves a tree; files in use are replaced at the next restart,
// each from a staged copy of its own. 0 when the target cannot be made or a file could be
// neither placed nor staged (its source then stays); the rest is placed all the same.
// Creates target and its missing parents as CopyFolderTree does; false when it cannot.
bool CreateFolderPath(const wchar_t* target, const TreeCopyOptions& options);

int CopyFolderTree(const wchar_t* source, const wchar_t* target, int keepSource,
                   const TreeCopyOptions& options = TreeCopyOptions());

// Replaces a file in one step: the new bytes are written beside the target under a name of
// their own and then moved over it, so a failed or cut-short copy leaves the old file whole.
// The file keeps the access list its folder gives it. 0, with nothing of the attempt left,
// when it could not be replaced.
int ReplaceFileWhole(const wchar_t* source, const wchar_t* target);

// Creates an empty file of a new name "<prefix><hex>.tmp" in folder (a trailing backslash
// optional) into out (kPathChars units), which reserves the name; false when there is no room
// for it or the folder cannot be written.
bool ReserveFileName(const wchar_t* folder, const wchar_t* prefix, wchar_t* out);

// Writes a copy of source at staged and has the system rename it over target at the next
// restart, the recorder told of the rename before it is scheduled; with grantUsers the copy
// is opened to "Users" first (the rename keeps its access list). False, with staged deleted,
// when any of it failed.
bool StageForRestart(const wchar_t* source, const wchar_t* staged, const wchar_t* target, ChangeRecorder& recorder,
                     bool grantUsers = false);
