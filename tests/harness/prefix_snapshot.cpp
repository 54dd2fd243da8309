// Taking and comparing snapshots of the Wine prefix.
#include "tests/harness/prefix_snapshot.h"

#include <algorithm>
#include <cstdio>

namespace test {

namespace {

// The profile's folders that Wine links to the Linux home (Desktop, Documents, Templates
// under AppData ...): only what lies directly in them.
bool Shallow(const std::wstring& folder) {
    wchar_t profile[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
    if (!length || length >= MAX_PATH || _wcsnicmp(folder.c_str(), profile, length) != 0) return false;
    const size_t start = folder.rfind(L'\\', folder.size() - 2) + 1;
    const std::wstring name = folder.substr(start, folder.size() - 1 - start);
    for (const wchar_t* linked : {L"Desktop", L"Documents", L"Downloads", L"Music", L"Pictures", L"Videos", L"Templates"}) {
        if (_wcsicmp(name.c_str(), linked) == 0) return true;
    }
    return false;
}

void WalkTop(const std::wstring& folder, std::set<std::wstring>& out) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        out.insert(folder + name + (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? L"\\" : L""));
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void WalkFiles(const std::wstring& folder, const std::vector<std::wstring>& skip, std::set<std::wstring>& out) {
    for (const std::wstring& s : skip) {
        if (_wcsicmp(s.c_str(), folder.c_str()) == 0) return;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.insert(folder + name + L"\\");
            // Links lead out of the prefix: the profile's Desktop and Documents are the Linux home.
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !Shallow(folder + name + L"\\")) {
                WalkFiles(folder + name + L"\\", skip, out);
            } else {
                WalkTop(folder + name + L"\\", out);
            }
        } else {
            out.insert(folder + name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::wstring ValueText(DWORD type, const BYTE* data, DWORD bytes) {
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        std::wstring text(reinterpret_cast<const wchar_t*>(data), bytes / sizeof(wchar_t));
        std::replace(text.begin(), text.end(), L'\0', L'|');
        return text;
    }
    std::wstring hex;
    for (DWORD i = 0; i < bytes; ++i) {
        wchar_t two[4];
        swprintf(two, 4, L"%02x", data[i]);
        hex += two;
    }
    return L"(" + std::to_wstring(type) + L") " + hex;
}

// Keys and values down to `depth` levels below path (-1: all).
void WalkKey(HKEY root, const std::wstring& rootName, const std::wstring& path, int depth, std::set<std::wstring>& out) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    const std::wstring shown = rootName + L"\\" + path;
    out.insert(shown + L"\\");
    // Small buffers: Wine moves the whole buffer through its server on every call.
    std::vector<BYTE> data(1024);
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameChars = 256, bytes = static_cast<DWORD>(data.size()), type = 0;
        LONG status = RegEnumValueW(key, i, name, &nameChars, nullptr, &type, data.data(), &bytes);
        if (status == ERROR_MORE_DATA && bytes > data.size()) {
            data.resize(bytes);
            nameChars = 256;
            status = RegEnumValueW(key, i, name, &nameChars, nullptr, &type, data.data(), &bytes);
        }
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        out.insert(shown + L" : " + name + L" = " + ValueText(type, data.data(), bytes));
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameChars = 256;
        if (RegEnumKeyExW(key, i, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::wstring& child : children) {
        const std::wstring shownChild = shown + L"\\" + child + L"\\";
        if (depth == 0) out.insert(shownChild);
        else WalkKey(root, rootName, path + L"\\" + child, depth < 0 ? -1 : depth - 1, out);
    }
}

}  // namespace

std::set<std::wstring> SnapshotPrefix(const std::vector<std::wstring>& skip) {
    std::set<std::wstring> out;
    WalkFiles(L"C:\\", skip, out);
    // The registry as this 32-bit program sees it, which is how the installer sees it: the
    // branches that an install of this family writes in full, and the key names around them,
    // so that a key made elsewhere shows too. (Walking all of Software takes minutes under Wine.)
    WalkKey(HKEY_LOCAL_MACHINE, L"HKLM", L"Software", 1, out);
    WalkKey(HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\vexal", -1, out);
    WalkKey(HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Windows\\CurrentVersion", 0, out);
    WalkKey(HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", -1, out);
    WalkKey(HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", -1, out);
    WalkKey(HKEY_LOCAL_MACHINE, L"HKLM", L"System\\CurrentControlSet\\Control\\Keyboard Layouts", -1, out);
    WalkKey(HKEY_LOCAL_MACHINE, L"HKLM", L"System\\CurrentControlSet\\Control\\Session Manager", 0, out);
    WalkKey(HKEY_CURRENT_USER, L"HKCU", L"Software", 1, out);
    WalkKey(HKEY_CURRENT_USER, L"HKCU", L"Software\\vexal", -1, out);
    WalkKey(HKEY_CURRENT_USER, L"HKCU", L"Keyboard Layout", -1, out);
    return out;
}

std::vector<std::wstring> Differences(const std::set<std::wstring>& before, const std::set<std::wstring>& after) {
    std::vector<std::wstring> lines;
    for (const std::wstring& line : after) {
        if (!before.count(line)) lines.push_back(L"+ " + line);
    }
    for (const std::wstring& line : before) {
        if (!after.count(line)) lines.push_back(L"- " + line);
    }
    return lines;
}

}  // namespace test
