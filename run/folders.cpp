// The folders every mode uses, and the deletion walk.
#include "run/folders.h"

#include <shlobj.h>

#include <cwchar>

#include "framework/handles.h"
#include "run/access.h"
#include "run/held_folder.h"
#include "run/install_layout.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

constexpr DWORD kDeleteWait = 50;  // ms paused after each deleted file and removed folder

// The path without its trailing backslash: with one, the system answers for what a link or
// junction there leads to instead of for the link.
void OwnPath(wchar_t (&own)[kPathChars], const wchar_t* path) {
    CopyCut(own, path);
    own[LengthWithoutBackslash(own)] = 0;
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

// A whole file's size in KiB, at least 1; 0 for a file that cannot be opened.
unsigned FileSizeKB(const wchar_t* path) {
    fw::UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size;
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) return 0;
    return size.QuadPart < 1024 ? 1 : static_cast<unsigned>(size.QuadPart / 1024);
}

// Deletes through the held folder's handle, so that a subfolder renamed away mid-walk and
// replaced by a link keeps being emptied where it went, and nothing where the link leads.
void EmptyHeld(const HeldFolder& folder) {
    for (const HeldFolder::Entry& entry : folder.List()) {
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            folder.DeleteChildFile(entry.name.c_str());
            Sleep(kDeleteWait);
            continue;
        }
        // A junction or link leads out of the folder: it stays, and so does what it leads to.
        // Folders whose names start with a dot are kept.
        HeldFolder child;
        if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) || entry.name[0] == L'.' ||
            !child.Open(folder, entry.name.c_str())) {
            continue;
        }
        EmptyHeld(child);
        Sleep(kDeleteWait);
        child.Remove();
    }
}

}  // namespace

bool PathExists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

void MakeWorkFolderPath(wchar_t* out, const wchar_t* tempFolder) {
    JoinPath(out, kPathChars, tempFolder, kWorkFolderName);
}

int PrepareWorkFolder(RUNSTATE* state, bool renew) {
    wchar_t temp[kPathChars] = {};
    // A temporary folder too long for the buffer is reported by its length only.
    const DWORD length = GetTempPathW(kPathChars, temp);
    if (length && length < kPathChars) MakeWorkFolderPath(state->workFolder, temp);
    else MakeWorkFolderPath(state->workFolder, L"c:\\temp\\");
    // An elevated process runs from this folder and reads the payload back from it. A link or
    // junction found in its place would send both elsewhere: the link goes, never what it
    // leads to, and what is then still no plain folder (Wine cannot delete a link it did not
    // make) is not used.
    if (IsLink(OwnAttributes(state->workFolder))) RemoveLink(state->workFolder);
    if (renew) {
        // Whoever made the folder beforehand owns it (in C:\Windows\Temp, where a run as SYSTEM
        // works, any user may make it): it goes, and is made anew for administrators alone
        // before anything is copied into it.
        // One that cannot go yet (the copy of a run that has just ended may still hold its
        // file) is taken over in place.
        RemoveFolder(state->workFolder);
        if (CreateAdministratorsOnlyFolder(state->workFolder)) return 1;
        if (!HeldFolder().Open(state->workFolder) || !ProtectAdministratorsOnlyFolder(state->workFolder)) return 0;
    } else if (!PathExists(state->workFolder)) {
        // A program taken for the working copy by its name alone, started from elsewhere.
        return CreateAdministratorsOnlyFolder(state->workFolder);
    }
    const DWORD attributes = OwnAttributes(state->workFolder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(attributes) &&
           WritableByAdministratorsOnly(state->workFolder);
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
    if (!GetShellFolder(CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, common)) return 0;
    wchar_t parent[kPathChars];
    JoinPath(parent, common, kDataFolderParent);
    JoinPath(out, kPathChars, parent, name, L"\\");
    return 1;
}

int EmptyFolder(const wchar_t* path) {
    HeldFolder folder;
    // A starting folder that is a link or junction: emptying it would empty what it leads to.
    if (!folder.Open(path)) return 0;
    EmptyHeld(folder);
    return 1;
}

void RemoveFolder(const wchar_t* path) {
    HeldFolder folder;
    if (!folder.Open(path)) return;
    EmptyHeld(folder);
    folder.Remove();
}

void RemoveVirtualizedData() {
    wchar_t cache[MAX_PATH];
    if (!GetShellFolder(CSIDL_INTERNET_CACHE, cache) || !PathExists(cache)) return;
    wchar_t folder[kPathChars];
    for (wchar_t drive = L'c'; drive <= L'y'; ++drive) {
        wchar_t below[48];
        FormatCut(below, 48, L"Virtualized\\%c\\ProgramData\\%s\\", drive, kDataFolderParent);
        JoinPath(folder, cache, below);
        RemoveFolder(folder);
    }
}

unsigned GetFolderSizeKB(const RUNSTATE* state, const wchar_t* path) {
    if (!path) path = state->workFolder;
    unsigned total = 0;
    ForEachEntry(path, [&](const WIN32_FIND_DATAW& found) {
        wchar_t child[kPathChars];
        if (!IsFolderEntry(found)) {
            JoinPath(child, path, found.cFileName);
            total += FileSizeKB(child);
        } else if (found.cFileName[0] != L'.') {
            JoinPath(child, path, found.cFileName, L"\\");
            total += GetFolderSizeKB(state, child);
        }
    });
    return total;
}
