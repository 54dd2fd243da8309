// The installation folder's rule: where an install may go, and so what an uninstall may empty.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cwchar>

#include "run/install_folder.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

// "\\?\" and "\\.\" paths bypass the system's normalisation, so no comparison made here
// would hold for them.
bool IsDevicePath(const wchar_t* path) {
    return path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.');
}

// The length of the root, "C:\" or "\\server\share\"; 0 when the path has neither.
size_t RootLength(const wchar_t* path) {
    const wchar_t letter = path[0] | 0x20;
    if (letter >= L'a' && letter <= L'z' && path[1] == L':' && path[2] == L'\\') return 3;
    if (path[0] != L'\\' || path[1] != L'\\' || IsDevicePath(path)) return 0;
    const wchar_t* server = path + 2;
    const wchar_t* share = wcschr(server, L'\\');
    if (!share || share == server) return 0;
    const wchar_t* end = wcschr(share + 1, L'\\');
    if (!end || end == share + 1) return 0;
    return static_cast<size_t>(end - path) + 1;
}

// The steps below the root. Empty, "." and ".." steps make the folder relative; any other step
// that is not plain makes it no folder of its own (a trailing dot or blank is dropped by the
// system, so "C:\Windows.\" is C:\Windows; a device name names no folder at all).
FolderVerdict CheckSteps(const wchar_t* steps) {
    if (!*steps) return FolderVerdict::kRefused;  // the root itself
    for (const wchar_t* p = steps; *p;) {
        const wchar_t* end = wcschr(p, L'\\');
        const size_t length = end ? static_cast<size_t>(end - p) : wcslen(p);
        if (length == 0 || (length == 1 && p[0] == L'.') || (length == 2 && p[0] == L'.' && p[1] == L'.')) {
            return FolderVerdict::kNotFull;
        }
        if (!IsPlainPathStep(p, length)) return FolderVerdict::kRefused;
        p += length + (end ? 1 : 0);
    }
    return FolderVerdict::kUsable;
}

// "\\host\C$\": the administrative shares (and every other hidden one) end with "$".
bool IsAdministrativeShare(const wchar_t* folder, size_t root) {
    return folder[0] == L'\\' && root >= 2 && folder[root - 2] == L'$';
}

// Long names for as much of the folder (with its trailing backslash) as exists, so that an 8.3
// name of a system folder compares as that folder. False when the result would not fit.
bool UseLongNames(wchar_t (&folder)[kPathChars], size_t root) {
    wchar_t head[kPathChars];
    CopyCut(head, folder);
    for (size_t end = wcslen(head) - 1; end > root;) {
        head[end] = 0;  // the backslash after the part tried now
        wchar_t longPath[kPathChars];
        const DWORD length = GetLongPathNameW(head, longPath, kPathChars);
        if (length && length < kPathChars) {
            wchar_t rest[kPathChars];
            CopyCut(rest, folder + end);
            if (length + wcslen(rest) >= kPathChars) return false;
            FormatCut(folder, kPathChars, L"%s%s", longPath, rest);
            return true;
        }
        end = static_cast<size_t>(wcsrchr(head, L'\\') - head);
    }
    return true;  // nothing below the root exists yet
}

// kIsOrHolds: the folder is the system folder or one of its parents; kOverlaps: that, or the
// folder lies in it.
enum class Relation { kIsOrHolds, kOverlaps };

// Whether folder stands in that relation to the system folder, taken by its long name.
bool Related(const wchar_t* folder, const wchar_t* system, Relation relation) {
    if (!system[0]) return false;
    wchar_t own[kPathChars], longPath[kPathChars];
    CopyCut(own, system);
    EnsureBackslash(own, kPathChars);
    const DWORD length = GetLongPathNameW(own, longPath, kPathChars);
    if (length && length < kPathChars) CopyCut(own, longPath);
    return IsInFolder(own, folder) || (relation == Relation::kOverlaps && IsInFolder(folder, own));
}

bool RelatedToShellFolder(const wchar_t* folder, int csidl, Relation relation) {
    wchar_t path[MAX_PATH];
    return GetShellFolder(csidl, path) && Related(folder, path, relation);
}

// Every profile lies in the profiles folder; the user's own may have been moved elsewhere.
bool OverlapsProfiles(const wchar_t* folder) {
    PWSTR profiles = nullptr;
    bool inside = false;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_UserProfiles, 0, nullptr, &profiles))) {
        inside = Related(folder, profiles, Relation::kOverlaps);
    }
    CoTaskMemFree(profiles);
    return inside || RelatedToShellFolder(folder, CSIDL_PROFILE, Relation::kOverlaps);
}

bool IsOrHoldsSystemFolder(const wchar_t* folder) {
    const int kShellFolders[] = {CSIDL_SYSTEM,           CSIDL_SYSTEMX86,       CSIDL_PROGRAM_FILES,
                                 CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_FONTS,
                                 CSIDL_COMMON_PROGRAMS,  CSIDL_PROGRAMS,        CSIDL_DESKTOPDIRECTORY,
                                 CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS};
    for (int csidl : kShellFolders) {
        if (RelatedToShellFolder(folder, csidl, Relation::kIsOrHolds)) return true;
    }
    // A 32-bit program under WOW64 learns the 64-bit program-files folders only from these.
    // They come from the environment, which can add to what is refused, never take from it.
    const wchar_t* const kVariables[] = {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"CommonProgramW6432"};
    wchar_t path[kPathChars];
    for (const wchar_t* name : kVariables) {
        const DWORD length = GetEnvironmentVariableW(name, path, kPathChars);
        if (length && length < kPathChars && Related(folder, path, Relation::kIsOrHolds)) return true;
    }
    const DWORD temp = GetTempPathW(kPathChars, path);
    return temp && temp < kPathChars && Related(folder, path, Relation::kIsOrHolds);
}

bool OverlapsSystemFolder(const wchar_t* folder) {
    const int kOuterFolders[] = {CSIDL_WINDOWS, CSIDL_COMMON_APPDATA, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA};
    for (int csidl : kOuterFolders) {
        if (RelatedToShellFolder(folder, csidl, Relation::kOverlaps)) return true;
    }
    return OverlapsProfiles(folder);
}

}  // namespace

FolderVerdict CheckInstallFolder(const wchar_t* path, wchar_t (&folder)[kPathChars]) {
    folder[0] = 0;
    const size_t length = wcslen(path);
    if (length == 0) return FolderVerdict::kNotFull;
    if (length + 2 > kPathChars) return FolderVerdict::kRefused;
    wchar_t given[kPathChars];
    CopyCut(given, path);
    for (wchar_t* p = given; *p; ++p) {
        if (*p == L'/') *p = L'\\';
    }
    EnsureBackslash(given, kPathChars);
    if (IsDevicePath(given)) return FolderVerdict::kRefused;
    // Checked before the system makes it full: "C:foo" and "\foo" would name a folder below
    // whatever the current folder happens to be.
    const size_t root = RootLength(given);
    if (root == 0) return FolderVerdict::kNotFull;
    const FolderVerdict steps = CheckSteps(given + root);
    if (steps != FolderVerdict::kUsable) return steps;

    wchar_t full[kPathChars];
    const DWORD fullLength = GetFullPathNameW(given, kPathChars, full, nullptr);
    if (!fullLength || fullLength >= kPathChars || full[fullLength - 1] != L'\\' || RootLength(full) != root ||
        !UseLongNames(full, root) || IsAdministrativeShare(full, root) ||
        CheckSteps(full + root) != FolderVerdict::kUsable || IsOrHoldsSystemFolder(full) || OverlapsSystemFolder(full)) {
        return FolderVerdict::kRefused;
    }
    CopyCut(folder, full);
    return FolderVerdict::kUsable;
}
