// The process's current folder: the system folder for the whole run, and the folder that the
// program was started in, which a relative path of its command line still names.
#include <windows.h>

#include <cwchar>

#include "app/startup.h"
#include "support/bounded_text.h"

namespace {

wchar_t* StartingFolderSlot() {
    static wchar_t folder[kPathChars];
    return folder;
}

bool IsAbsolute(const wchar_t* path) {
    const bool unc = path[0] == L'\\' && path[1] == L'\\';
    return unc || (path[0] && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/'));
}

}  // namespace

void EnterSystemFolder() {
    wchar_t* starting = StartingFolderSlot();
    const DWORD length = GetCurrentDirectoryW(kPathChars, starting);
    if (!length || length >= kPathChars) starting[0] = 0;
    wchar_t system[kPathChars];
    const UINT systemLength = GetSystemDirectoryW(system, kPathChars);
    if (systemLength && systemLength < kPathChars) SetCurrentDirectoryW(system);
}

const wchar_t* StartingFolder() { return StartingFolderSlot(); }

void FullPathFromStartingFolder(const wchar_t* path, wchar_t* out) {
    const wchar_t* starting = StartingFolder();
    wchar_t joined[kPathChars];
    if (IsAbsolute(path) || !starting[0]) {
        CopyCut(joined, path);
    } else if (path[0] == L'\\' || path[0] == L'/') {
        // Rooted: on the starting folder's drive.
        FormatCut(joined, kPathChars, L"%.2s%s", starting, path);
    } else {
        FormatCut(joined, kPathChars, L"%s%s%s", starting, starting[wcslen(starting) - 1] == L'\\' ? L"" : L"\\", path);
    }
    const DWORD length = GetFullPathNameW(joined, kPathChars, out, nullptr);
    if (!length || length >= kPathChars) CopyCut(out, kPathChars, joined);
}
