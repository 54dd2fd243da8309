// Checks on the installed-package record before an uninstall or repair acts on it.
#include "install/installed_package.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "support/bounded_text.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The length of the root ("C:\" or "\\server\share\"); 0 when the path is not fully qualified.
size_t RootLength(const wchar_t* path) {
    if (iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\') return 3;
    if (path[0] != L'\\' || path[1] != L'\\' || path[2] == L'?' || path[2] == L'.') return 0;
    const wchar_t* server = path + 2;
    const wchar_t* share = wcschr(server, L'\\');
    if (!share || share == server) return 0;
    const wchar_t* end = wcschr(share + 1, L'\\');
    if (!end || end == share + 1) return 0;
    return static_cast<size_t>(end - path) + 1;
}

// Every step below the root is a real name: no empty, "." or ".." steps, no wildcards.
bool PlainSteps(const wchar_t* steps) {
    if (!*steps) return false;  // the root itself
    for (const wchar_t* p = steps; *p;) {
        const wchar_t* end = wcschr(p, L'\\');
        const size_t length = end ? static_cast<size_t>(end - p) : wcslen(p);
        if (length == 0 && end) return false;
        if ((length == 1 && p[0] == L'.') || (length == 2 && p[0] == L'.' && p[1] == L'.')) return false;
        for (size_t i = 0; i < length; ++i) {
            if (p[i] == L'/' || p[i] == L'*' || p[i] == L'?' || p[i] == L':' || p[i] < 0x20) return false;
        }
        if (!end) break;
        p = end + 1;
    }
    return true;
}

// Whether folder (with its backslash) is inner or the start of inner's path, by whole steps.
bool Contains(const wchar_t* folder, const wchar_t* inner) {
    wchar_t withSlash[kPathChars];
    const size_t length = wcslen(inner);
    FormatCut(withSlash, kPathChars, L"%s%s", inner, length && inner[length - 1] == L'\\' ? L"" : L"\\");
    const size_t folderLength = wcslen(folder);
    return wcslen(withSlash) >= folderLength && _wcsnicmp(withSlash, folder, folderLength) == 0;
}

bool HoldsSystemFolder(const wchar_t* folder) {
    const int kSystemFolders[] = {CSIDL_WINDOWS,        CSIDL_SYSTEM,          CSIDL_SYSTEMX86,
                                  CSIDL_PROGRAM_FILES,  CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                                  CSIDL_COMMON_APPDATA, CSIDL_PROFILE,         CSIDL_APPDATA,
                                  CSIDL_LOCAL_APPDATA,  CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY,
                                  CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS,       CSIDL_PERSONAL,
                                  CSIDL_COMMON_DOCUMENTS, CSIDL_FONTS};
    wchar_t system[MAX_PATH];
    for (int csidl : kSystemFolders) {
        if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, system) == S_OK && system[0] &&
            Contains(folder, system)) {
            return true;
        }
    }
    const DWORD temp = GetTempPathW(MAX_PATH, system);
    return temp && temp < MAX_PATH && Contains(folder, system);
}

}  // namespace

bool InstalledFolder(const INSTALLEDPACKAGE& package, wchar_t (&out)[kPathChars]) {
    out[0] = 0;
    const wchar_t* path = package.installPath;
    const size_t length = wcslen(path);
    // A value written by other means may lack the backslash; the folder is the same.
    if (length == 0 || length + 2 > kPathChars) return false;
    wchar_t folder[kPathChars];
    FormatCut(folder, kPathChars, L"%s%s", path, IsSeparator(path[length - 1]) ? L"" : L"\\");
    const size_t root = RootLength(folder);
    if (root == 0) return false;
    wchar_t steps[kPathChars];
    CopyCut(steps, folder + root);
    const size_t stepsLength = wcslen(steps);
    if (stepsLength) steps[stepsLength - 1] = 0;  // the trailing backslash
    if (!PlainSteps(steps) || HoldsSystemFolder(folder)) return false;
    CopyCut(out, folder);
    return true;
}
