// Folder and file operations shared by every mode: the work folder, the package data
// folder, emptying, measuring and copying trees, and full access for the local "Users" where
// every user must write (the package data folder, nowhere else).
#pragma once
#include <windows.h>

#include "run/run_state.h"

// Whether anything, file or folder, stands at path.
bool PathExists(const wchar_t* path);

// Writes "<temp>__SRIMEInstall\" (a backslash put between when temp lacks one) into out.
void MakeWorkFolderPath(wchar_t* out, const wchar_t* tempFolder);

// Fills the record's work-folder slot and creates the folder, which keeps the access list it
// inherits. A link or junction in its place is removed first; 0 when what is there then is
// not a plain folder.
int PrepareWorkFolder(RUNSTATE* state);

// Replaces any explicit "Users" entry of the path's access list by one with full access.
// 1 when the list was stored; else 0, after one failure line on standard output.
int GrantUsersAccess(const wchar_t* path);

// The list that GrantUsersAccess stores, written into acl (size bytes: old's used size, the
// identifier's length and 8): old's explicit entries up to its first inherited one, those
// of users left out; then full access for users, inherited by files and folders; then
// old's remaining entries. A null old counts as empty. 0 after a failure line.
int BuildUsersAcl(ACL* acl, DWORD size, ACL* old, PSID users);

// Replaces a file in one step: the new bytes are written beside the target under a name of
// their own and then moved over it, so a failed or cut-short copy leaves the old file whole.
// The file keeps the access list its folder gives it. 0, with nothing of the attempt left,
// when it could not be replaced.
int ReplaceFileWhole(const wchar_t* source, const wchar_t* target);

// The system folder by the name it has on disk, without a trailing backslash: for a 32-bit
// program under WOW64 that is SysWOW64, where the file system redirects its System32; for a
// 64-bit program, or a 32-bit one on 32-bit Windows, System32. A path that outlives this
// process (a rename at the next restart, a registry value read by 64-bit programs) must use
// it. False when the folder is not known or longer than kPathChars.
bool GetSystemFolderOnDisk(wchar_t* out);

// What CheckInstallFolder makes of a folder given for an installation.
enum class FolderVerdict {
    kUsable,   // an install may go there (and an uninstall may empty it, if it holds Unstall.exe)
    kNotFull,  // relative, drive-less or rooted without a drive, or with empty, "." or ".." steps
    kRefused,  // a full path that names or lies in a folder of the system's, or no plain folder
};

// The one rule for an installation folder, which the destination page, /D= and the check
// before an uninstall deletes share, so that nothing is installed where it could not be
// uninstalled. The folder (a trailing backslash optional) must be a full path below a drive or
// share root, whose steps have no wildcard, colon, control character or trailing dot or blank;
// it is compared by its full path with long names. Refused are: a drive or share root, an
// administrative share (\\host\C$), a device path (\\?\, \\.\), every folder in the Windows
// folder, the profiles folder or an application-data folder (all users', roaming, local), and
// a folder that is or holds one of the system's own (program files of either view, the system
// folder, fonts, the shell's folders, temp); a subfolder of a program-files folder is usable.
// With kUsable, folder holds the normalised path with its trailing backslash, else it is empty.
FolderVerdict CheckInstallFolder(const wchar_t* path, wchar_t (&folder)[kPathChars]);

// "<all users' application data>\SoramoIMEs\<name>\"; the folder is not created. 0 when the
// folder is not known or name is no plain package name.
int GetPackageDataFolder(wchar_t* out, const wchar_t* name);

// Deletes what a folder holds and keeps the folder; 0 when it does not exist or is itself a
// link or junction (whose target is never touched).
int EmptyFolder(const wchar_t* path);

// Told of every change that placing files is about to make, before it makes it, so that a
// failed run can be undone (the install journal is one).
class ChangeRecorder {
public:
    // What was at a path that is about to be written.
    enum class Prior {
        kAbsent,   // nothing: the file is new
        kKept,     // a file, now kept aside: it may be overwritten
        kNotKept,  // a file that could not be kept aside (held without sharing): it may only be
                   // replaced at the next restart, which an undo can take back
        kRefused,  // a folder, or the record could not be written: nothing may be written there
    };
    virtual Prior BeforeFileWrite(const wchar_t* path) = 0;
    // Before a folder is created; false when the record could not be written.
    virtual bool BeforeFolderCreate(const wchar_t* folder) = 0;
    // After a file of the run's own was created under a name that the system chose.
    virtual bool FileCreated(const wchar_t* path) = 0;
    // Before a rename at the next restart is scheduled (target empty: a deletion).
    virtual bool BeforeRestartRename(const wchar_t* source, const wchar_t* target) = 0;
    // The records of changes that one call makes together (a folder moved whole with every
    // file in it) may be held from HoldRecords() on and put to the system by one write in
    // WriteHeldRecords(), before that call; false when they could not be.
    virtual void HoldRecords() {}
    virtual bool WriteHeldRecords() { return true; }

protected:
    ~ChangeRecorder() = default;
};

// What CopyFolderTree does beyond copying, and what it tells back.
struct TreeCopyOptions {
    // Opens every folder it creates, every copy and every staged copy to "Users".
    bool grantUsers = false;
    // Set to 1 when a file in use is left to be replaced at the next restart.
    int* restartNeeded = nullptr;
    // Told of every file written and folder created; none when nothing is to be undone.
    ChangeRecorder* recorder = nullptr;
};

// Creates a folder (an existing one is fine), telling the recorder first when it is new;
// false when it is not there afterwards or the recorder refused.
bool CreateFolderRecorded(const wchar_t* folder, ChangeRecorder* recorder);

// Copies a file over its target or, when the target is in use, stages a copy under a name of
// its own in the temporary folder that replaces it at the next restart, and sets the restart
// flag. 0 when neither worked, or the recorder refused the target (a folder of its name).
int PlaceFile(const wchar_t* source, const wchar_t* target, const TreeCopyOptions& options);

// Copies (keepSource != 0) or moves a tree; files in use are replaced at the next restart,
// each from a staged copy of its own. 0 when the target cannot be made or a file could be
// neither placed nor staged (its source then stays); the rest is placed all the same.
int CopyFolderTree(const wchar_t* source, const wchar_t* target, int keepSource,
                   const TreeCopyOptions& options = TreeCopyOptions());

// Removes the package data that file virtualisation copied under the Internet cache folder.
void RemoveVirtualizedData();

// The size of a tree in KiB (every file at least 1); a null path measures the work folder.
unsigned GetFolderSizeKB(const RUNSTATE* state, const wchar_t* path);
