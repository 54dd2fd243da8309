// Taking and comparing snapshots of the Wine prefix.
#include "tests/harness/prefix_snapshot.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "framework/handles.h"

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

// What a file's content was when its metadata were last seen. A write to a file always
// moves its change time (the file system sets it; no caller can), so a file whose size, write
// time and change time are all as before still holds the bytes hashed then, and the prefix's
// 700 MB are read once per test program rather than on every snapshot.
struct FileStamp {
    int64_t size, written, changed;
    bool operator<(const FileStamp& other) const {
        return std::tie(size, written, changed) < std::tie(other.size, other.written, other.changed);
    }
};
std::map<std::wstring, std::pair<FileStamp, uint64_t>> g_hashes;

// A 64-bit hash of the bytes, eight at a time; it tells contents apart, it does not resist
// an adversary.
uint64_t HashBytes(uint64_t hash, const BYTE* data, size_t count) {
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t word;
        memcpy(&word, data + i, 8);
        hash = (hash ^ word) * 0x100000001b3ull;
        hash ^= hash >> 29;
    }
    for (; i < count; ++i) hash = (hash ^ data[i]) * 0x100000001b3ull;
    return hash;
}

// "#" and sixteen hex digits of the content, "#unreadable" when it cannot be read (a file
// that a test holds open without sharing).
std::wstring ContentMark(const std::wstring& path) {
    fw::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    FILE_BASIC_INFO basic;
    LARGE_INTEGER size;
    if (!file.Valid() || !GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic) ||
        !GetFileSizeEx(file.Get(), &size)) {
        return L"#unreadable";
    }
    const FileStamp stamp{size.QuadPart, basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart};
    wchar_t text[24];
    auto known = g_hashes.find(path);
    if (known != g_hashes.end() && !(known->second.first < stamp) && !(stamp < known->second.first)) {
        swprintf(text, 24, L"#%016llx", static_cast<unsigned long long>(known->second.second));
        return text;
    }
    uint64_t hash = 0xcbf29ce484222325ull ^ static_cast<uint64_t>(size.QuadPart);
    std::vector<BYTE> buffer(1 << 20);
    for (DWORD read = 0;; ) {
        if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return L"#unreadable";
        if (!read) break;
        hash = HashBytes(hash, buffer.data(), read);
    }
    g_hashes[path] = {stamp, hash};
    swprintf(text, 24, L"#%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::wstring FileLine(const std::wstring& path) { return path + L" " + ContentMark(path); }

void WalkTop(const std::wstring& folder, std::set<std::wstring>& out) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) out.insert(folder + name + L"\\");
        else out.insert(FileLine(folder + name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

bool Skipped(const std::wstring& folder, const std::vector<std::wstring>& skip) {
    for (const std::wstring& s : skip) {
        if (_wcsicmp(s.c_str(), folder.c_str()) == 0) return true;
    }
    return false;
}

void WalkFiles(const std::wstring& folder, const std::vector<std::wstring>& skip, std::set<std::wstring>& out) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (Skipped(folder + name + L"\\", skip)) continue;
            out.insert(folder + name + L"\\");
            // Links lead out of the prefix: the profile's Desktop and Documents are the Linux home.
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !Shallow(folder + name + L"\\")) {
                WalkFiles(folder + name + L"\\", skip, out);
            } else {
                WalkTop(folder + name + L"\\", out);
            }
        } else {
            out.insert(FileLine(folder + name));
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
