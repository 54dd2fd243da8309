// Access lists: full access for the local "Users" where every user must write (the package
// data folder, nowhere else), and the folders that only administrators may write in.
#pragma once
#include <windows.h>

// Replaces any explicit "Users" entry of the path's access list by one with full access.
// 1 when the list was stored; else 0, after one failure line on standard output.
int GrantUsersAccess(const wchar_t* path);

// The list that GrantUsersAccess stores, written into acl (size bytes: old's used size, the
// identifier's length and 8): old's explicit entries up to its first inherited one, those
// of users left out; then full access for users, inherited by files and folders; then
// old's remaining entries. A null old counts as empty. 0 after a failure line.
int BuildUsersAcl(ACL* acl, DWORD size, ACL* old, PSID users);

// Gives the installation folder Administrators as its owner and an access list of its own,
// inheriting nothing from its parent: SYSTEM and Administrators full control, Users read and
// execute, passed on to everything below it. Outside Program Files a new folder would inherit
// what users may do there (under C:\, change its files), and one that a user made beforehand
// would be theirs. False when either cannot be set.
bool ProtectInstallationFolder(const wchar_t* folder);

// Gives an existing folder Administrators as its owner and the list that
// CreateAdministratorsOnlyFolder gives a new one, passed on to what it holds.
bool ProtectAdministratorsOnlyFolder(const wchar_t* folder);

// Creates a folder that SYSTEM and Administrators alone have access to, inheriting nothing
// from its parent; false when it cannot be made or something stands there already (another
// run's folder, or a link someone left).
bool CreateAdministratorsOnlyFolder(const wchar_t* folder);

// CreateAdministratorsOnlyFolder below parent under a name no one can guess beforehand,
// "<prefix><16 random hex digits>\" into out (kPathChars units), tried anew on a clash, so
// that folders squatted in a shared parent cannot stop a run. False when none can be made.
bool CreateUnguessableFolder(const wchar_t* parent, const wchar_t* prefix, wchar_t* out);

// Whether an administrator owns the folder and no one else may write in it, as a folder made by
// CreateAdministratorsOnlyFolder is. The running administrator counts as one.
bool WritableByAdministratorsOnly(const wchar_t* folder);
