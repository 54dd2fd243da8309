#include "support/path.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "support/bounded_text.h"

namespace {

bool IsDeviceName(const wchar_t* step, size_t length) {
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CLOCK$", L"CONIN$", L"CONOUT$"};
    size_t stem = 0;
    while (stem < length && step[stem] != L'.') ++stem;
    for (const wchar_t* device : kDevices) {
        if (wcslen(device) == stem && _wcsnicmp(step, device, stem) == 0) return true;
    }
    // COM1 to COM9 and LPT1 to LPT9, and with the superscript digits ¹ ² ³, which the system
    // takes for the same devices.
    if (stem != 4) return false;
    const wchar_t digit = step[3];
    return (_wcsnicmp(step, L"COM", 3) == 0 || _wcsnicmp(step, L"LPT", 3) == 0) &&
           ((digit >= L'1' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3);
}

}  // namespace

bool EndsWithBackslash(const wchar_t* path) {
    const size_t length = wcslen(path);
    return length && path[length - 1] == L'\\';
}

size_t JoinPath(wchar_t* out, size_t count, const wchar_t* folder, const wchar_t* name, const wchar_t* suffix) {
    return FormatCut(out, count, L"%s%s%s%s", folder, EndsWithBackslash(folder) ? L"" : L"\\", name, suffix);
}

std::wstring JoinedPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/') return folder + name;
    return folder + L'\\' + name;
}

size_t LengthWithoutBackslash(const wchar_t* path) {
    size_t length = wcslen(path);
    while (length > 3 && path[length - 1] == L'\\') --length;
    return length;
}

void EnsureBackslash(wchar_t* folder, size_t count) {
    const size_t length = wcslen(folder);
    if (length && folder[length - 1] != L'\\' && length + 1 < count) wcscpy(folder + length, L"\\");
}

bool SamePath(const wchar_t* a, const wchar_t* b) { return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL; }

bool EndsWithPath(const wchar_t* path, size_t length, const wchar_t* tail) {
    const size_t tailLength = wcslen(tail);
    if (tailLength == 0 || tailLength > length) return false;
    return CompareStringOrdinal(path + length - tailLength, static_cast<int>(tailLength), tail,
                                static_cast<int>(tailLength), TRUE) == CSTR_EQUAL;
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

bool IsPlainPathStep(const wchar_t* step, size_t length) {
    if (length == 0) return false;
    const wchar_t last = step[length - 1];
    if (last == L'.' || last == L' ') return false;  // ".", ".." and what the system cuts to them
    for (size_t i = 0; i < length; ++i) {
        if (step[i] < 0x20 || wcschr(L"\\/:*?\"<>|", step[i])) return false;
    }
    return !IsDeviceName(step, length);
}

bool GetShellFolder(int csidl, wchar_t* out) {
    if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, out) == S_OK) return true;
    out[0] = 0;
    return false;
}
