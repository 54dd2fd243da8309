#include "support/path.h"

#include <windows.h>

#include <cwchar>

#include "support/bounded_text.h"

bool EndsWithBackslash(const wchar_t* path) {
    const size_t length = wcslen(path);
    return length && path[length - 1] == L'\\';
}

void JoinPath(wchar_t* out, size_t count, const wchar_t* folder, const wchar_t* name, const wchar_t* suffix) {
    FormatCut(out, count, L"%s%s%s%s", folder, EndsWithBackslash(folder) ? L"" : L"\\", name, suffix);
}

void EnsureBackslash(wchar_t* folder, size_t count) {
    const size_t length = wcslen(folder);
    if (length && folder[length - 1] != L'\\' && length + 1 < count) wcscpy(folder + length, L"\\");
}

bool IsInFolder(const wchar_t* path, const wchar_t* folder) {
    size_t pathLength = wcslen(path), folderLength = wcslen(folder);
    while (folderLength && folder[folderLength - 1] == L'\\') --folderLength;
    while (pathLength && path[pathLength - 1] == L'\\') --pathLength;
    if (!folderLength || pathLength < folderLength) return false;
    return CompareStringOrdinal(path, static_cast<int>(folderLength), folder, static_cast<int>(folderLength), TRUE) ==
               CSTR_EQUAL &&
           (pathLength == folderLength || path[folderLength] == L'\\');
}
