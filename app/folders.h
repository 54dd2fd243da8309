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
int GrantUsersAccess(const wchar_t* path);

int CopyFileWithAccess(const wchar_t* source, const wchar_t* target, BOOL failIfExists);

// "<all users' application data>\SoramoIMEs\<name>\"; the folder is not created.
int GetPackageDataFolder(wchar_t* out, const wchar_t* name);

// Deletes what a folder holds and keeps the folder; 0 when it does not exist.
int EmptyFolder(const wchar_t* path);

// Copies (keepSource != 0) or moves a tree; files in use are replaced at the next restart.
int CopyFolderTree(const wchar_t* source, const wchar_t* target, int keepSource);

void RemoveVirtualizedData();

// The size of a tree in KiB (every file at least 1); a null path measures the work folder.
unsigned GetFolderSizeKB(const RUNSTATE* state, const wchar_t* path);
