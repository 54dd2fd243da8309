// The process's current folder: the system folder for the whole run, and the folder that the
// program was started in, which a relative path of its command line still names.
#include <windows.h>

#include <cwchar>

#include "app/startup.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

bool IsAbsolute(const wchar_t* path) {
    const bool unc = path[0] == L'\\' && path[1] == L'\\';
    return unc || (path[0] && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/'));
}

}  // namespace

void EnterSystemFolder(wchar_t (&starting)[kPathChars]) {
    const DWORD length = GetCurrentDirectoryW(kPathChars, starting);
    if (!length || length >= kPathChars) starting[0] = 0;
    wchar_t system[kPathChars];
    const UINT systemLength = GetSystemDirectoryW(system, kPathChars);
    if (systemLength && systemLength < kPathChars) SetCurrentDirectoryW(system);
}

void FullPathFromStartingFolder(const wchar_t* starting, const wchar_t* path, wchar_t* out) {
    wchar_t joined[kPathChars];
    if (IsAbsolute(path) || !starting[0]) {
        CopyCut(joined, path);
    } else if (path[0] == L'\\' || path[0] == L'/') {
        // Rooted: on the starting folder's drive.
        FormatCut(joined, kPathChars, L"%.2s%s", starting, path);
    } else {
        JoinPath(joined, starting, path);
    }
    const DWORD length = GetFullPathNameW(joined, kPathChars, out, nullptr);
    if (!length || length >= kPathChars) CopyCut(out, kPathChars, joined);
}
