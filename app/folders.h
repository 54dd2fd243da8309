// Folder and file operations shared by every mode: the work folder, the package data
// folder, emptying, measuring and copying trees, and full access for the local "Users".
#pragma once
#include <windows.h>

#include "app/run_state.h"

// Writes "<temp>__SRIMEInstall\" (a backslash put between when temp lacks one) into out.
void MakeWorkFolderPath(wchar_t* out, const wchar_t* tempFolder);

// Fills the record's work-folder slot, creates the folder and opens it to "Users".
int PrepareWorkFolder(RUNSTATE* state);

// Replaces any explicit "Users" entry of the path's access list by one with full access.
// 1 when the list was stored; else 0, after one failure line on standard output.
int GrantUsersAccess(const wchar_t* path);

// The list that GrantUsersAccess stores, written into acl (size bytes: old's used size, the
// identifier's length and 8): old's explicit entries up to its first inherited one, those
// of users left out; then full access for users, inherited by files and folders; then
// old's remaining entries. A null old counts as empty. 0 after a failure line.
int BuildUsersAcl(ACL* acl, DWORD size, ACL* old, PSID users);

// Copies a file, then opens the copy to "Users"; 0 when either fails.
int CopyFileWithAccess(const wchar_t* source, const wchar_t* target, BOOL failIfExists);

// The system folder by the name it has on disk, without a trailing backslash: for a 32-bit
// program under WOW64 that is SysWOW64, where the file system redirects its System32; for a
// 64-bit program, or a 32-bit one on 32-bit Windows, System32. A path that outlives this
// process (a rename at the next restart, a registry value read by 64-bit programs) must use
// it. False when the folder is not known or longer than kPathChars.
bool GetSystemFolderOnDisk(wchar_t* out);

// "<all users' application data>\SoramoIMEs\<name>\"; the folder is not created. 0 when the
// folder is not known or name is no plain package name.
int GetPackageDataFolder(wchar_t* out, const wchar_t* name);

// Deletes what a folder holds and keeps the folder; 0 when it does not exist.
int EmptyFolder(const wchar_t* path);

// What CopyFolderTree does beyond copying, and what it tells back.
struct TreeCopyOptions {
    // Opens every folder it creates, every copy and every staged copy to "Users".
    bool grantUsers = true;
    // Set to 1 when a file in use is left to be replaced at the next restart.
    int* restartNeeded = nullptr;
};

// Copies (keepSource != 0) or moves a tree; files in use are replaced at the next restart.
int CopyFolderTree(const wchar_t* source, const wchar_t* target, int keepSource,
                   const TreeCopyOptions& options = TreeCopyOptions());

// Removes the package data that file virtualisation copied under the Internet cache folder.
void RemoveVirtualizedData();

// The size of a tree in KiB (every file at least 1); a null path measures the work folder.
unsigned GetFolderSizeKB(const RUNSTATE* state, const wchar_t* path);
