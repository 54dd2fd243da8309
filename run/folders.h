// The folders every mode uses: the work folder, the package data folder, the system folder by
// its name on disk, and the deletion walk that empties a folder without leaving it.
#pragma once
#include <windows.h>

#include "framework/handles.h"
#include "run/run_state.h"
#include "support/path.h"

// Whether anything, file or folder, stands at path.
bool PathExists(const wchar_t* path);

// Whether a found entry is a folder (or a link or junction to one).
inline bool IsFolderEntry(const WIN32_FIND_DATAW& found) { return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Calls visit for every entry of the folder but the first, which is the folder's own "."
// entry on the file systems the installer works on.
template <class Visit>
void ForEachEntry(const wchar_t* folder, Visit visit) {
    wchar_t pattern[kPathChars];
    JoinPath(pattern, folder, L"*");
    WIN32_FIND_DATAW found;
    fw::FindHandle search(FindFirstFileW(pattern, &found));
    if (!search.Valid()) return;
    while (FindNextFileW(search.Get(), &found)) visit(found);
}

// Writes "<temp>__SRIMEInstall\" (a backslash put between when temp lacks one) into out.
void MakeWorkFolderPath(wchar_t* out, const wchar_t* tempFolder);

// Fills the record's work-folder slot. With renew (the process that was started) whatever is
// there goes and the folder is made anew, for SYSTEM and Administrators alone; without it (the
// working copy) the folder must be such a folder, and is made so when there is none. A link or junction in its place is removed
// first. 0 when the folder cannot be made or is not such a folder.
int PrepareWorkFolder(RUNSTATE* state, bool renew);

// The system folder by the name it has on disk, without a trailing backslash: for a 32-bit
// program under WOW64 that is SysWOW64, where the file system redirects its System32; for a
// 64-bit program, or a 32-bit one on 32-bit Windows, System32. A path that outlives this
// process (a rename at the next restart, a registry value read by 64-bit programs) must use
// it. False when the folder is not known or longer than kPathChars.
bool GetSystemFolderOnDisk(wchar_t* out);

// "<all users' application data>\SoramoIMEs\<name>\"; the folder is not created. 0 when the
// folder is not known or name is no plain package name.
int GetPackageDataFolder(wchar_t* out, const wchar_t* name);

// Deletes what a folder holds and keeps the folder, through handles (run/held_folder.h): a
// link, junction or hard link inside stays, and what it leads to is never touched. 0 when the
// folder does not exist or is itself a link or junction.
int EmptyFolder(const wchar_t* path);

// EmptyFolder, then the folder itself through its handle, when it is empty then.
void RemoveFolder(const wchar_t* path);

// Removes the package data that file virtualisation copied under the Internet cache folder.
void RemoveVirtualizedData();

// The size of a tree in KiB (every file at least 1); a null path measures the work folder.
unsigned GetFolderSizeKB(const RUNSTATE* state, const wchar_t* path);
