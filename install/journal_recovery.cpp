// Journals that a killed run left: read back, checked against the places where an install of
// the package writes, and undone; anything else in one leaves it alone.
#include "install/journal.h"

#include <aclapi.h>
#include <shlobj.h>

#include <cwctype>

#include "framework/handles.h"
#include "payload/records.h"
#include "run/registry_layout.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

// A journal is a few lines a file; one larger than this is not ours.
constexpr DWORD kMaxJournalBytes = 8u << 20;

bool Same(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

std::wstring WithoutBackslash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

// A full path "X:\a\b" with plain steps: no ".", "..", empty steps, wildcards, streams or
// device prefixes, so that comparing its text with a folder's says where it lies.
bool PlainFullPath(const std::wstring& path) {
    if (path.size() < 4 || path.size() >= kPathChars || !iswalpha(path[0]) || path[1] != L':' || path[2] != L'\\') {
        return false;
    }
    const std::wstring rest = WithoutBackslash(path).substr(3);
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(L'\\', start);
        if (end == std::wstring::npos) end = rest.size();
        const std::wstring step = rest.substr(start, end - start);
        if (step.empty() || step == L"." || step == L".." || step.back() == L' ' || step.back() == L'.') return false;
        for (wchar_t c : step) {
            if (c < 32 || wcschr(L"<>:\"/|?*", c)) return false;
        }
        start = end + 1;
    }
    return true;
}

// path is root or lies below it.
bool Within(const std::wstring& path, const std::wstring& root) { return IsInFolder(path.c_str(), root.c_str()); }

std::wstring ShellFolder(int csidl) {
    wchar_t folder[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) return L"";
    return folder;
}

// Where an install of one package writes.
struct Places {
    std::wstring installFolder, system, windows, fonts, data, group, desktopLink, temp;
    std::wstring vendorKey, entryKey, imeFile;

    bool FileAllowed(const std::wstring& path) const {
        if (!PlainFullPath(path)) return false;
        for (const std::wstring* root : {&installFolder, &system, &windows, &fonts, &data, &group}) {
            if (Within(path, *root)) return true;
        }
        if (Same(path, desktopLink)) return true;
        // Copies staged for a restart, under the names the placement gives them.
        const std::wstring name = path.substr(path.rfind(L'\\') + 1);
        return Same(WithoutBackslash(path.substr(0, path.rfind(L'\\') + 1)), WithoutBackslash(temp)) &&
               name.size() > 7 && Same(name.substr(0, 3), L"srs") && Same(name.substr(name.size() - 4), L".tmp");
    }
    // The parents that placing files creates on the way, too; a folder goes only when empty.
    bool FolderAllowed(const std::wstring& path) const {
        if (FileAllowed(path)) return true;
        if (!PlainFullPath(path)) return false;
        return Within(installFolder, path) || Within(data, path);
    }
    bool KeyAllowed(const std::wstring& root, const std::wstring& key, bool value) const {
        if (root != L"HKLM" && root != L"HKCU") return false;
        if (Same(key, vendorKey)) return true;
        if (value) return root == L"HKLM" && Same(key, entryKey);
        return (root == L"HKLM" && Same(key, entryKey)) || Same(key, kVendorKey) ||
               (root == L"HKLM" && Same(key, L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts"));
    }
};

bool AllHex(const std::wstring& text, const wchar_t* also) {
    for (wchar_t c : text) {
        if (!iswxdigit(c) && !wcschr(also, c)) return false;
    }
    return true;
}

bool KeptName(const std::wstring& name, unsigned& index) {
    if (name.size() < 2 || name.size() > 10 || name[0] != L'k') return false;
    for (size_t i = 1; i < name.size(); ++i) {
        if (!iswdigit(name[i])) return false;
    }
    index = wcstoul(name.c_str() + 1, nullptr, 10);
    return index > 0;
}

// The records of a journal file; false when it cannot be read or its first line is not the
// header. A last line without its line break was cut short by the kill and is left out: its
// change had not begun.
bool ReadJournal(const std::wstring& folder, std::vector<InstallJournal::Entry>& entries) {
    fw::UniqueHandle file(CreateFileW((folder + L"journal.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    LARGE_INTEGER size;
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxJournalBytes || size.QuadPart % 2) {
        return false;
    }
    std::wstring text(static_cast<size_t>(size.QuadPart / 2), L'\0');
    DWORD read = 0;
    if (size.QuadPart && (!ReadFile(file.Get(), &text[0], static_cast<DWORD>(size.QuadPart), &read, nullptr) ||
                          read != size.QuadPart)) {
        return false;
    }
    for (size_t at = 0;;) {
        const size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos) break;
        const std::wstring line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) return false;
        InstallJournal::Entry entry{line[0], {}};
        if (line.size() > 1) {
            if (line[1] != L'\t') return false;
            for (size_t start = 2;;) {
                const size_t tab = line.find(L'\t', start);
                entry.fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
                if (tab == std::wstring::npos) break;
                start = tab + 1;
            }
        }
        entries.push_back(std::move(entry));
    }
    return !entries.empty() && entries[0].kind == L'J';
}

// Every record has its number of fields and lies where the package's install writes.
bool Acceptable(const std::vector<InstallJournal::Entry>& entries, const Places& places, const std::wstring& folder,
                unsigned& kept) {
    kept = 0;
    for (size_t i = 1; i < entries.size(); ++i) {
        const std::vector<std::wstring>& f = entries[i].fields;
        bool fine = false;
        switch (entries[i].kind) {
        case L'F': fine = f.size() == 1 && places.FileAllowed(f[0]); break;
        case L'R': {
            unsigned index = 0;
            const DWORD attributes = f.size() == 2 ? GetFileAttributesW((folder + f[1]).c_str()) : INVALID_FILE_ATTRIBUTES;
            fine = f.size() == 2 && places.FileAllowed(f[0]) && KeptName(f[1], index) &&
                   attributes != INVALID_FILE_ATTRIBUTES &&
                   !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
            if (index > kept) kept = index;
            break;
        }
        case L'D': fine = f.size() == 1 && places.FolderAllowed(f[0]); break;
        case L'K': fine = f.size() == 2 && places.KeyAllowed(f[0], f[1], false); break;
        case L'V':
            fine = f.size() == 6 && places.KeyAllowed(f[0], f[1], true) && (f[3] == L"0" || f[3] == L"1") &&
                   !f[4].empty() && f[4].size() < 4 && AllHex(f[4], L"") && f[5].size() % 2 == 0 &&
                   AllHex(f[5], L"");
            break;
        case L'L': fine = f.size() == 2 && Same(f[0], places.imeFile) && AllHex(f[1], L","); break;
        case L'A': fine = f.size() == 1 && PlainFullPath(f[0]) && Within(f[0], places.fonts); break;
        case L'P': fine = f.size() == 2 && places.FileAllowed(f[0]) && (f[1].empty() || places.FileAllowed(f[1])); break;
        default: break;
        }
        if (!fine) return false;
    }
    return true;
}

// Anyone may make a folder in the all-users application-data folder, so a journal folder is
// believed only when an administrator owns it and no one else may write in it: the folder a
// run makes for its journal is so. The running administrator counts as one: Wine gives every
// file the one user's SID as owner.
bool WritableByAdministratorsOnly(const std::wstring& folder) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    BYTE system[SECURITY_MAX_SID_SIZE], administrators[SECURITY_MAX_SID_SIZE], user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    DWORD size = sizeof system;
    bool fine = CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size);
    size = sizeof administrators;
    fine = fine && CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size);
    HANDLE token = nullptr;
    fine = fine && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    fw::UniqueHandle tokenOwner(token);
    fine = fine && GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    const PSID self = fine ? reinterpret_cast<TOKEN_USER*>(user)->User.Sid : nullptr;
    const auto trusted = [&](PSID sid) { return EqualSid(sid, system) || EqualSid(sid, administrators) || EqualSid(sid, self); };
    // No access list at all lets everyone do anything.
    fine = fine && owner && trusted(owner) && dacl;
    const DWORD kWriting = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_EA | FILE_DELETE_CHILD |
                           FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; fine && i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        fine = GetAce(dacl, i, reinterpret_cast<void**>(&ace));
        if (!fine || ace->AceType == ACCESS_DENIED_ACE_TYPE || (ace->AceFlags & INHERIT_ONLY_ACE)) continue;
        // Any other kind of grant is one this check cannot read: not believed.
        auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
        fine = ace->AceType == ACCESS_ALLOWED_ACE_TYPE &&
               (!(allowed->Mask & kWriting) || trusted(&allowed->SidStart));
    }
    LocalFree(descriptor);
    return fine;
}

bool Running(DWORD pid) {
    fw::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    return process.Valid() && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

// The places of the package, with the installation folder that the journal names; false when
// that folder is none an install may use.
bool PlacesOf(const wchar_t* packageName, const std::wstring& installFolder, Places& places) {
    wchar_t folder[kPathChars];
    if (CheckInstallFolder(installFolder.c_str(), folder) != FolderVerdict::kUsable) return false;
    places.installFolder = folder;
    wchar_t path[kPathChars];
    places.system = GetSystemFolderOnDisk(path) ? path : L"";
    places.windows = ShellFolder(CSIDL_WINDOWS);
    places.fonts = ShellFolder(CSIDL_FONTS);
    places.data = GetPackageDataFolder(path, packageName) ? path : L"";
    const std::wstring programs = ShellFolder(CSIDL_COMMON_PROGRAMS);
    places.group = programs.empty() ? L"" : programs + L"\\" + packageName;
    const std::wstring desktop = ShellFolder(CSIDL_DESKTOPDIRECTORY);
    places.desktopLink = desktop.empty() ? L"" : desktop + L"\\" + packageName + L"1.系统设置.lnk";
    places.temp = GetTempPathW(kPathChars, path) ? path : L"";
    VendorKeyOf(packageName, path, kPathChars);
    places.vendorKey = path;
    JoinPath(path, kUninstallKey, packageName);
    places.entryKey = path;
    wchar_t module[kModuleKeyChars];
    if (!FormatModuleKey(module, packageName)) return false;
    places.imeFile = module;
    return true;
}

}  // namespace

LeftJournals UndoLeftJournals(const wchar_t* packageName) {
    LeftJournals outcome;
    if (!IsPlainPackageName(packageName)) return outcome;
    wchar_t common[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common) != S_OK) return outcome;
    const std::wstring prefix = std::wstring(common) + L"\\SRIMEJournal." + packageName + L".";
    WIN32_FIND_DATAW found;
    fw::FindHandle search(FindFirstFileW((prefix + L"*").c_str(), &found));
    std::vector<std::wstring> names;
    for (bool more = search.Valid(); more; more = FindNextFileW(search.Get(), &found)) {
        // Only a folder can be a journal; a file of that name only keeps this run from making one.
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        // Another package's name may begin with this one's and a dot: the rest must be a pid.
        const std::wstring pid = found.cFileName + (prefix.size() - wcslen(common) - 1);
        if (pid.empty() || pid.size() > 10 || pid.find_first_not_of(L"0123456789") != std::wstring::npos) {
            continue;
        }
        names.push_back(found.cFileName);
    }
    for (const std::wstring& name : names) {
        const std::wstring folder = std::wstring(common) + L"\\" + name + L"\\";
        const DWORD pid = wcstoul(name.c_str() + name.rfind(L'.') + 1, nullptr, 10);
        if (pid != GetCurrentProcessId() && Running(pid)) continue;  // a run still at work
        const DWORD attributes = GetFileAttributesW(WithoutBackslash(folder).c_str());
        std::vector<InstallJournal::Entry> entries;
        Places places;
        unsigned kept = 0;
        const bool fine = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && WritableByAdministratorsOnly(folder) &&
                          ReadJournal(folder, entries) &&
                          entries[0].fields.size() == 4 && entries[0].fields[0] == L"1" &&
                          Same(entries[0].fields[1], packageName) && wcstoul(entries[0].fields[2].c_str(), nullptr, 10) == pid &&
                          PlacesOf(packageName, entries[0].fields[3], places) &&
                          Acceptable(entries, places, folder, kept);
        if (!fine) {
            outcome.refused.push_back(folder);
            continue;
        }
        entries.erase(entries.begin());
        InstallJournal journal;
        journal.Adopt(folder, std::move(entries), kept);
        for (std::wstring& path : journal.Undo()) outcome.deferred.push_back(std::move(path));
        ++outcome.undone;
    }
    return outcome;
}
