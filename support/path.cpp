#include "support/path.h"

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
