// Test helpers.
#include "tests/harness/test_folder.h"

#include <aclapi.h>
#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/path.h"

namespace test {

TestFolder::TestFolder() {
    // On the system drive, outside every profile: the installer refuses to install into or
    // uninstall from a folder inside one, and a scratch folder must be able to hold both.
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    static unsigned counter = 0;
    m_path = std::wstring(windows, 3) + L"srtests\\" + std::to_wstring(GetCurrentProcessId()) + L"_" +
             std::to_wstring(++counter) + L"\\";
    RemoveTree(m_path);
    std::filesystem::create_directories(m_path);
}

TestFolder::~TestFolder() { RemoveTree(m_path); }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write a test file");
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::wstring& path) {
    std::error_code ignored;
    // Read-only files would stop remove_all.
    for (auto it = std::filesystem::recursive_directory_iterator(path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::filesystem::remove_all(path, ignored);
}

std::vector<std::wstring> Entries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    std::error_code ignored;
    for (const auto& e : std::filesystem::directory_iterator(folder, ignored)) names.push_back(e.path().filename());
    return names;
}

std::string Utf8(const std::wstring& text) { return std::filesystem::path(text).u8string(); }

std::string Shown(const std::vector<std::wstring>& lines) {
    std::string text;
    for (const std::wstring& line : lines) text += Utf8(line) + "\n";
    return text;
}

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH];
    GetShellFolder(csidl, path);
    return path;
}

void SetRegString(HKEY root, const std::wstring& key, const wchar_t* name, const wchar_t* value) {
    HKEY k;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create a test key");
    }
    if (value) {
        RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>(wcslen(value) * sizeof(wchar_t)));
    } else {
        RegDeleteValueW(k, name);
    }
    RegCloseKey(k);
}

void DeleteRegTree(HKEY root, const std::wstring& key) { RegDeleteTreeW(root, key.c_str()); }

std::wstring RegText(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t text[600] = {};
    DWORD bytes = sizeof text;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) {
        return L"(missing)";
    }
    return text;
}

bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY k;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

namespace {

// The rename list: one multi-string of "\??\source", "!\??\target" pairs.
const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kRenames[] = L"PendingFileRenameOperations";

std::wstring PendingRenames() {
    DWORD bytes = 0;
    RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kRenames, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &bytes);
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    if (bytes && RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kRenames, RRF_RT_REG_MULTI_SZ, nullptr, &text[0],
                              &bytes) != ERROR_SUCCESS) {
        return L"";
    }
    text.resize(bytes / sizeof(wchar_t));
    return text;
}

void SetPendingRenames(const std::wstring& renames) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (renames.find_first_not_of(L'\0') == std::wstring::npos) {
        RegDeleteValueW(key, kRenames);
    } else {
        RegSetValueExW(key, kRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(renames.data()),
                       static_cast<DWORD>(renames.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

}  // namespace

std::wstring TakePendingRename(const std::wstring& source) {
    std::wstring renames = PendingRenames();
    const std::wstring entry = L"\\??\\" + source + L'\0';
    const size_t at = renames.find(entry);
    if (at == std::wstring::npos) return L"(no entry)";
    const size_t next = at + entry.size();
    const std::wstring destination = renames.substr(next, renames.find(L'\0', next) - next);
    SetPendingRenames(renames.erase(at, entry.size() + destination.size() + 1));
    return destination;
}

std::wstring TakePendingReplacementOf(const std::wstring& destination) {
    std::wstring renames = PendingRenames();
    const std::wstring wanted = L"!\\??\\" + destination;
    for (size_t at = 0; at < renames.size();) {
        const size_t sourceEnd = renames.find(L'\0', at);
        if (sourceEnd == std::wstring::npos || sourceEnd == at) break;
        const size_t targetEnd = renames.find(L'\0', sourceEnd + 1);
        if (targetEnd == std::wstring::npos) break;
        if (_wcsicmp(renames.substr(sourceEnd + 1, targetEnd - sourceEnd - 1).c_str(), wanted.c_str()) == 0) {
            std::wstring source = renames.substr(at, sourceEnd - at);
            if (source.rfind(L"\\??\\", 0) == 0) source.erase(0, 4);
            SetPendingRenames(renames.erase(at, targetEnd + 1 - at));
            return source;
        }
        at = targetEnd + 1;
    }
    return L"(no entry)";
}

std::wstring DaclText(PSECURITY_DESCRIPTOR descriptor) {
    wchar_t* sddl = nullptr;
    if (!descriptor || !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                             DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
        return L"";
    }
    const std::wstring text = sddl;
    LocalFree(sddl);
    return text;
}

namespace {

std::wstring NamedDaclText(const std::wstring& name, SE_OBJECT_TYPE type) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(name.c_str(), type, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                              &descriptor) != ERROR_SUCCESS) {
        return L"";
    }
    const std::wstring text = DaclText(descriptor);
    LocalFree(descriptor);
    return text;
}

}  // namespace

std::wstring FileDaclText(const std::wstring& path) { return NamedDaclText(path, SE_FILE_OBJECT); }
std::wstring MachineKeyDaclText(const std::wstring& key) { return NamedDaclText(L"MACHINE\\" + key, SE_REGISTRY_KEY); }

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

std::wstring SystemFolderOnDisk() {
    wchar_t folder[MAX_PATH] = {};
    BOOL wow64 = FALSE;
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
        GetSystemWow64DirectoryW(folder, MAX_PATH);
    } else {
        GetSystemDirectoryW(folder, MAX_PATH);
    }
    return folder;
}

std::wstring ProgramBeside(const wchar_t* name) {
    wchar_t own[MAX_PATH];
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring path(own);
    return path.substr(0, path.rfind(L'\\') + 1) + name;
}

}  // namespace test
