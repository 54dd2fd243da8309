// The shared folder operations: work and package data folders, emptying, measuring and
// copying trees, and full access for the local "Users" group where every user must write.
#include "run/folders.h"

#include <shlobj.h>

#include <cstdio>
#include <cwchar>

#include "framework/handles.h"
#include "support/bounded_text.h"
#include "support/path.h"
#include "support/system_library.h"

namespace {

const wchar_t kUsers[] = L"Users";
constexpr DWORD kDeleteWait = 50;  // ms paused after each deleted file and removed folder

bool IsFolder(const WIN32_FIND_DATAW& found) { return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// The path without its trailing backslash: with one, the system answers for what a link or
// junction there leads to instead of for the link.
void OwnPath(wchar_t (&own)[kPathChars], const wchar_t* path) {
    CopyCut(own, path);
    const size_t n = wcslen(own);
    if (n > 3 && own[n - 1] == L'\\') own[n - 1] = 0;
}

DWORD OwnAttributes(const wchar_t* path) {
    wchar_t own[kPathChars];
    OwnPath(own, path);
    return GetFileAttributesW(own);
}

bool IsLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Deletes a link or junction itself, opened as what it is rather than what it leads to.
void RemoveLink(const wchar_t* path) {
    wchar_t own[kPathChars];
    OwnPath(own, path);
    fw::UniqueHandle link(CreateFileW(own, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_DELETE_ON_CLOSE,
                                      nullptr));
}

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

// Access rights

// The program normally has no console, so each failure line also goes to the debugger.
int ReportFailure(const char* format) {
    const int error = static_cast<int>(GetLastError());
    char line[96];
    snprintf(line, sizeof line, format, error);
    fputs(line, stdout);
    fflush(stdout);
    OutputDebugStringA(line);
    return 0;
}

template <class Function>
Function FindAdvapi(const char* name) {
    Function function;
    FindExport(GetModuleHandleW(L"advapi32.dll"), name, function);
    return function;
}

// The identifier of an entry that keeps it right behind its mask; object entries, whose
// identifier follows optional GUIDs, are copied as they stand.
PSID EntrySid(ACE_HEADER* entry) {
    switch (entry->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case SYSTEM_AUDIT_ACE_TYPE:
    case SYSTEM_ALARM_ACE_TYPE:
        return &reinterpret_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart;
    default:
        return nullptr;
    }
}

// Copies the old entries from *index on into the new list. With skipSid set it stops at
// the first inherited entry and leaves out the explicit entries of that identifier.
int CopyEntries(ACL* from, DWORD count, PSID skipSid, ACL* to, DWORD* index) {
    for (; *index < count; ++*index) {
        void* raw;
        if (!GetAce(from, *index, &raw)) return ReportFailure("GetAce() failed. Error %d\n");
        ACE_HEADER* entry = static_cast<ACE_HEADER*>(raw);
        if (skipSid) {
            if (entry->AceFlags & INHERITED_ACE) break;
            PSID sid = EntrySid(entry);
            if (sid && EqualSid(sid, skipSid)) continue;
        }
        if (!AddAce(to, from->AclRevision, MAXDWORD, entry, entry->AceSize)) {
            return ReportFailure("AddAce() failed. Error %d\n");
        }
    }
    return 1;
}

int AddUsersEntry(ACL* acl, PSID users) {
    using AddEx = BOOL(WINAPI*)(PACL, DWORD, DWORD, DWORD, PSID);
    if (AddEx addEx = FindAdvapi<AddEx>("AddAccessAllowedAceEx")) {
        if (!addEx(acl, ACL_REVISION2, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, GENERIC_ALL, users)) {
            return ReportFailure("AddAccessAllowedAceEx() failed. Error %d\n");
        }
    } else if (!AddAccessAllowedAce(acl, ACL_REVISION2, GENERIC_ALL, users)) {
        return ReportFailure("AddAccessAllowedAce() failed. Error %d\n");
    }
    return 1;
}

// A new descriptor starts with no control bits; without these the stored list would lose
// its auto-inherited or protected state.
int CopyInheritanceControl(PSECURITY_DESCRIPTOR from, PSECURITY_DESCRIPTOR to) {
    using SetControl = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL);
    SetControl setControl = FindAdvapi<SetControl>("SetSecurityDescriptorControl");
    if (!setControl) return 1;

    SECURITY_DESCRIPTOR_CONTROL control;
    DWORD revision;
    if (!GetSecurityDescriptorControl(from, &control, &revision)) {
        return ReportFailure("GetSecurityDescriptorControl() failed.Error %d\n");
    }
    SECURITY_DESCRIPTOR_CONTROL bits = 0;
    if (control & SE_DACL_AUTO_INHERITED) bits = SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
    else if (control & SE_DACL_PROTECTED) bits = SE_DACL_PROTECTED;
    if (bits && !setControl(to, bits, bits)) return ReportFailure("SetSecurityDescriptorControl() failed.Error %d\n");
    return 1;
}

// Builds the new list from the old descriptor's one and stores it on the path.
int StoreWithUsersEntry(const wchar_t* path, PSECURITY_DESCRIPTOR oldDescriptor, PSID users) {
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) {
        return ReportFailure("InitializeSecurityDescriptor() failed.Error %d\n");
    }
    BOOL present = FALSE, defaulted = FALSE;
    ACL* oldAcl = nullptr;
    if (!GetSecurityDescriptorDacl(oldDescriptor, &present, &oldAcl, &defaulted)) {
        return ReportFailure("GetSecurityDescriptorDacl() failed. Error %d\n");
    }
    if (!present) oldAcl = nullptr;
    ACL_SIZE_INFORMATION used = {0, sizeof(ACL), 0};  // an absent list: an empty header
    if (oldAcl && !GetAclInformation(oldAcl, &used, sizeof used, AclSizeInformation)) {
        return ReportFailure("GetAclInformation() failed. Error %d\n");
    }

    const DWORD size = used.AclBytesInUse + GetLengthSid(users) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
    fw::HeapBlock acl(size);
    if (!acl.Get()) return ReportFailure("HeapAlloc() failed. Error %d\n");
    if (!BuildUsersAcl(acl.As<ACL>(), size, oldAcl, users)) return 0;

    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, acl.As<ACL>(), FALSE)) {
        return ReportFailure("SetSecurityDescriptorDacl() failed. Error %d\n");
    }
    if (!CopyInheritanceControl(oldDescriptor, &descriptor)) return 0;
    if (!SetFileSecurityW(path, DACL_SECURITY_INFORMATION, &descriptor)) {
        return ReportFailure("SetFileSecurity() failed. Error %d\n");
    }
    return 1;
}

// Size queries answer FALSE with ERROR_INSUFFICIENT_BUFFER; anything else is a failure.
bool SizeQueryFailed(BOOL result) { return !result && GetLastError() != ERROR_INSUFFICIENT_BUFFER; }

// Trees

// A whole file's size in KiB, at least 1; 0 for a file that cannot be opened.
unsigned FileSizeKB(const wchar_t* path) {
    fw::UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size;
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) return 0;
    return size.QuadPart < 1024 ? 1 : static_cast<unsigned>(size.QuadPart / 1024);
}

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
        if (!PathExists(prefix) && (!options.recorder || options.recorder->BeforeFolderCreate(prefix)) &&
            CreateDirectoryW(prefix, nullptr)) {
            Grant(prefix, options);
        }
        *p = L'\\';
    }
}

// A name of its own in the temporary folder for a copy that waits for the restart: two files
// of one name from different folders may both be in use, and each must keep its own bytes.
// The file is created empty, which reserves the name.
bool ReserveStagedName(wchar_t* out) {
    wchar_t temp[kPathChars] = {};
    const DWORD length = GetTempPathW(kPathChars, temp);
    return length && length < kPathChars - 14 && GetTempFileNameW(temp, L"srs", 0, out);
}

using Prior = ChangeRecorder::Prior;

Prior PriorOf(const wchar_t* target, const TreeCopyOptions& options) {
    if (options.recorder) return options.recorder->BeforeFileWrite(target);
    return Prior::kAbsent;
}

// Stages a copy that replaces the target at the next restart; the recorder learns of the
// staged file and of the rename before either can outlive the run.
int StageForRestart(const wchar_t* source, const wchar_t* target, const TreeCopyOptions& options) {
    wchar_t staged[kPathChars];
    if (!ReserveStagedName(staged)) return 0;
    ChangeRecorder* recorder = options.recorder;
    if (recorder && !recorder->FileCreated(staged)) {
        DeleteFileW(staged);
        return 0;
    }
    if (CopyFileW(source, staged, FALSE) && Grant(staged, options) &&
        (!recorder || recorder->BeforeRestartRename(staged, target)) &&
        MoveFileExW(staged, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
        if (options.restartNeeded) *options.restartNeeded = 1;
        return 1;
    }
    DeleteFileW(staged);
    return 0;
}

// Moves (move) or copies a file over its target, or stages it for the next restart.
int PlaceOne(const wchar_t* source, const wchar_t* target, bool move, const TreeCopyOptions& options) {
    const Prior prior = PriorOf(target, options);
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
    if (!StageForRestart(source, target, options)) return 0;
    if (move) DeleteFileW(source);
    return 1;
}

// Tells the recorder of the folder `to` and of everything that a rename of `from` would bring
// into it, parents before what they hold, so that an undo empties each folder before removing
// it. False when the tree holds what a copy would leave behind (a folder whose name begins
// with "." other than the parent's entry, a link or junction) or a record could not be made.
bool RecordMovedTree(const wchar_t* from, const wchar_t* to, ChangeRecorder* recorder) {
    if (recorder && !recorder->BeforeFolderCreate(to)) return false;
    bool movable = true;
    ForEachEntry(from, [&](const WIN32_FIND_DATAW& found) {
        if (!movable) return;
        wchar_t fromChild[kPathChars], toChild[kPathChars];
        JoinPath(toChild, to, found.cFileName);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            movable = false;
        } else if (!IsFolder(found)) {
            movable = !recorder || recorder->FileCreated(toChild);
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
    if (options.recorder) options.recorder->HoldRecords();
    const bool recorded = RecordMovedTree(from, to, options.recorder);
    if (options.recorder && !options.recorder->WriteHeldRecords()) return false;
    return recorded && MoveFileExW(from, to, 0);
}

}  // namespace

bool PathExists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// The staged copy is renamed into place with its access list, so it is opened to "Users"
// only when the target is.
int PlaceFile(const wchar_t* source, const wchar_t* target, const TreeCopyOptions& options) {
    return PlaceOne(source, target, false, options);
}

bool CreateFolderRecorded(const wchar_t* folder, ChangeRecorder* recorder) {
    if (!PathExists(folder)) {
        if (recorder && !recorder->BeforeFolderCreate(folder)) return false;
        CreateDirectoryW(folder, nullptr);
    }
    const DWORD attributes = GetFileAttributesW(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int BuildUsersAcl(ACL* acl, DWORD size, ACL* old, PSID users) {
    if (!InitializeAcl(acl, size, ACL_REVISION2)) return ReportFailure("InitializeAcl() failed. Error %d\n");
    // Explicit entries, ours among them, come before the inherited ones: the order that the
    // system's access check and its inheritance both expect.
    const DWORD count = old ? old->AceCount : 0;
    DWORD index = 0;
    return CopyEntries(old, count, users, acl, &index) && AddUsersEntry(acl, users) &&
           CopyEntries(old, count, nullptr, acl, &index);
}

void MakeWorkFolderPath(wchar_t* out, const wchar_t* tempFolder) {
    JoinPath(out, kPathChars, tempFolder, L"__SRIMEInstall\\");
}

int PrepareWorkFolder(RUNSTATE* state) {
    wchar_t temp[kPathChars] = {};
    // A temporary folder too long for the buffer is reported by its length only.
    const DWORD length = GetTempPathW(kPathChars, temp);
    if (length && length < kPathChars) MakeWorkFolderPath(state->workFolder, temp);
    else CopyCut(state->workFolder, L"c:\\temp\\__SRIMEInstall\\");
    // An elevated process runs from this folder and reads the payload back from it, so it
    // keeps the access list that the temporary folder passes on. A link or junction found in
    // its place would send both elsewhere: the link goes, never what it leads to, and what is
    // then still no plain folder (Wine cannot delete a link it did not make) is not used.
    if (IsLink(OwnAttributes(state->workFolder))) RemoveLink(state->workFolder);
    CreateDirectoryW(state->workFolder, nullptr);
    const DWORD attributes = OwnAttributes(state->workFolder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(attributes);
}

int GrantUsersAccess(const wchar_t* path) {
    DWORD sidSize = 0, domainChars = 0;
    SID_NAME_USE use;
    if (SizeQueryFailed(LookupAccountNameW(nullptr, kUsers, nullptr, &sidSize, nullptr, &domainChars, &use))) {
        return ReportFailure("LookupAccountName() failed. Error %d\n");
    }
    fw::HeapBlock sid(sidSize);
    fw::HeapBlock domain(domainChars * sizeof(wchar_t));
    if (!sid.Get() || !domain.Get()) return ReportFailure("HeapAlloc() failed. Error %d\n");
    if (!LookupAccountNameW(nullptr, kUsers, sid.Get(), &sidSize, domain.As<wchar_t>(), &domainChars, &use)) {
        return ReportFailure("LookupAccountName() failed. Error %d\n");
    }

    DWORD descriptorSize = 0;
    if (SizeQueryFailed(GetFileSecurityW(path, DACL_SECURITY_INFORMATION, nullptr, 0, &descriptorSize))) {
        return ReportFailure("GetFileSecurity() failed. Error %d\n");
    }
    fw::HeapBlock descriptor(descriptorSize);
    if (!descriptor.Get()) return ReportFailure("HeapAlloc() failed. Error %d\n");
    if (!GetFileSecurityW(path, DACL_SECURITY_INFORMATION, descriptor.Get(), descriptorSize, &descriptorSize)) {
        return ReportFailure("GetFileSecurity() failed. Error %d\n");
    }
    return StoreWithUsersEntry(path, descriptor.Get(), sid.Get());
}

int ReplaceFileWhole(const wchar_t* source, const wchar_t* target) {
    wchar_t folder[kPathChars], staged[kPathChars];
    CopyCut(folder, target);
    wchar_t* slash = wcsrchr(folder, L'\\');
    if (!slash || wcslen(folder) >= MAX_PATH - 14) return 0;
    slash[1] = 0;
    if (!GetTempFileNameW(folder, L"srn", 0, staged)) return 0;
    if (CopyFileW(source, staged, FALSE) &&
        MoveFileExW(staged, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return 1;
    }
    DeleteFileW(staged);
    return 0;
}

bool GetSystemFolderOnDisk(wchar_t* out) {
    BOOL wow64 = FALSE;
    const UINT length = IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? GetSystemWow64DirectoryW(out, kPathChars)
                                                                          : GetSystemDirectoryW(out, kPathChars);
    return length && length < kPathChars;
}

int GetPackageDataFolder(wchar_t* out, const wchar_t* name) {
    // What is found here gets emptied: a name that is no plain package name could name the
    // folder of every package, of another one, or one outside.
    if (!IsPlainPackageName(name)) return 0;
    wchar_t common[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, common) != S_OK) {
        return 0;
    }
    FormatCut(out, kPathChars, L"%s\\SoramoIMEs\\%s\\", common, name);
    return 1;
}

int EmptyFolder(const wchar_t* path) {
    const DWORD attributes = OwnAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    // A starting folder that is a link or junction: emptying it would empty what it leads to.
    if (IsLink(attributes)) return 0;
    ForEachEntry(path, [path](const WIN32_FIND_DATAW& found) {
        wchar_t child[kPathChars];
        JoinPath(child, path, found.cFileName);
        if (!IsFolder(found)) {
            SetFileAttributesW(child, FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(child);
            Sleep(kDeleteWait);
        } else if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // A junction or link leads out of the folder: the link goes, never what it points at.
            RemoveDirectoryW(child);
        } else if (found.cFileName[0] != L'.') {
            EmptyFolder(child);
            Sleep(kDeleteWait);
            RemoveDirectoryW(child);
        }
    });
    return 1;
}

int CopyFolderTree(const wchar_t* source, const wchar_t* target, int keepSource, const TreeCopyOptions& options) {
    if (!PathExists(target)) {
        CreateParents(target, options);
        if (!PathExists(target)) {
            if (!CreateFolderRecorded(target, options.recorder)) return 0;
            Grant(target, options);
        }
    }
    int complete = 1;
    ForEachEntry(source, [&](const WIN32_FIND_DATAW& found) {
        wchar_t from[kPathChars], to[kPathChars];
        JoinPath(from, source, found.cFileName);
        JoinPath(to, target, found.cFileName);
        if (!IsFolder(found)) {
            if (!PlaceOne(from, to, !keepSource, options)) complete = 0;
        } else if (found.cFileName[0] != L'.') {
            const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (!keepSource && !link && MoveWholeFolder(from, to, options)) return;
            if (!CopyFolderTree(from, to, keepSource, options)) complete = 0;
        }
    });
    return complete;
}

void RemoveVirtualizedData() {
    wchar_t cache[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, SHGFP_TYPE_CURRENT, cache) != S_OK || !PathExists(cache)) {
        return;
    }
    wchar_t folder[kPathChars];
    for (wchar_t drive = L'c'; drive <= L'y'; ++drive) {
        wchar_t below[48];
        FormatCut(below, 48, L"Virtualized\\%c\\ProgramData\\SoramoIMEs\\", drive);
        JoinPath(folder, cache, below);
        if (EmptyFolder(folder)) RemoveDirectoryW(folder);
    }
}

unsigned GetFolderSizeKB(const RUNSTATE* state, const wchar_t* path) {
    if (!path) path = state->workFolder;
    unsigned total = 0;
    ForEachEntry(path, [&](const WIN32_FIND_DATAW& found) {
        wchar_t child[kPathChars];
        if (!IsFolder(found)) {
            JoinPath(child, path, found.cFileName);
            total += FileSizeKB(child);
        } else if (found.cFileName[0] != L'.') {
            JoinPath(child, path, found.cFileName, L"\\");
            total += GetFolderSizeKB(state, child);
        }
    });
    return total;
}
