// Journals that a killed run left: read back, checked against the places where an install of
// the package writes, and undone; anything else in one leaves it alone.
#include "install/journal.h"

#include <shlobj.h>

#include <cwctype>

#include "framework/handles.h"
#include "install/journal_format.h"
#include "payload/records.h"
#include "run/access.h"
#include "run/install_layout.h"
#include "support/path.h"

namespace {

// A journal is a few lines a file; one larger than this is not ours.
constexpr DWORD kMaxJournalBytes = 8u << 20;

bool Same(const std::wstring& a, const std::wstring& b) { return SamePath(a.c_str(), b.c_str()); }
// Registry keys compare without regard to ASCII case.
bool SameKey(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

std::wstring WithoutBackslash(const std::wstring& path) { return path.substr(0, LengthWithoutBackslash(path.c_str())); }

// A full path "X:\a\b" with plain steps (IsPlainPathStep): no ".", "..", empty steps,
// wildcards, streams, device names or device prefixes, so that comparing its text with a
// folder's says where it lies.
bool PlainFullPath(const std::wstring& path) {
    if (path.size() < 4 || path.size() >= kPathChars || !iswalpha(path[0]) || path[1] != L':' || path[2] != L'\\') {
        return false;
    }
    const std::wstring rest = WithoutBackslash(path).substr(3);
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(L'\\', start);
        if (end == std::wstring::npos) end = rest.size();
        if (!IsPlainPathStep(rest.c_str() + start, end - start)) return false;
        start = end + 1;
    }
    return true;
}

// path is root or lies below it.
bool Within(const std::wstring& path, const std::wstring& root) { return IsInFolder(path.c_str(), root.c_str()); }

// What a left journal may name: the places of the package's install.
struct Places : InstallPlaces {
    bool FileAllowed(const std::wstring& path) const {
        if (!PlainFullPath(path)) return false;
        for (const std::wstring* root : {&installFolder, &system, &windows, &fonts, &data, &group}) {
            if (Within(path, *root)) return true;
        }
        if (Same(path, desktopLink)) return true;
        // Copies staged for a restart, under the names the placement gives them.
        const std::wstring name = path.substr(path.rfind(L'\\') + 1);
        return Same(WithoutBackslash(path.substr(0, path.rfind(L'\\') + 1)), WithoutBackslash(temp)) &&
               name.size() > 7 && Same(name.substr(0, wcslen(kStagedFilePrefix)), kStagedFilePrefix) &&
               Same(name.substr(name.size() - 4), L".tmp");
    }
    // The parents that placing files creates on the way, too; a folder goes only when empty.
    bool FolderAllowed(const std::wstring& path) const {
        if (FileAllowed(path)) return true;
        if (!PlainFullPath(path)) return false;
        return Within(installFolder, path) || Within(data, path);
    }
    bool KeyAllowed(const std::wstring& root, const std::wstring& key, bool value) const {
        const bool machine = root == kMachineRoot;
        if (!machine && root != kUserRoot) return false;
        if (SameKey(key, vendorKey)) return true;
        if (value) return machine && SameKey(key, entryKey);
        return (machine && SameKey(key, entryKey)) || SameKey(key, kVendorKey) ||
               (machine && SameKey(key, kKeyboardLayoutsKey));
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
bool ReadJournal(const std::wstring& folder, std::vector<JournalRecord>& entries) {
    fw::UniqueHandle file(CreateFileW((folder + kJournalFile).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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
        JournalRecord entry{static_cast<RecordKind>(line[0]), {}};
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
    return !entries.empty() && entries[0].kind == RecordKind::kHeader;
}

// Every record has its number of fields and lies where the package's install writes.
bool Acceptable(const std::vector<JournalRecord>& entries, const Places& places, const std::wstring& folder,
                unsigned& kept) {
    kept = 0;
    for (size_t i = 1; i < entries.size(); ++i) {
        const std::vector<std::wstring>& f = entries[i].fields;
        bool fine = false;
        switch (entries[i].kind) {
        case RecordKind::kFileCreated: fine = f.size() == PathField::kCount && places.FileAllowed(f[PathField::kPath]); break;
        case RecordKind::kFileReplaced: {
            namespace R = ReplacedField;
            unsigned index = 0;
            const bool counted = f.size() == R::kCount;
            const DWORD attributes = counted ? GetFileAttributesW((folder + f[R::kKept]).c_str()) : INVALID_FILE_ATTRIBUTES;
            fine = counted && places.FileAllowed(f[R::kPath]) && KeptName(f[R::kKept], index) &&
                   attributes != INVALID_FILE_ATTRIBUTES &&
                   !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
            if (index > kept) kept = index;
            break;
        }
        case RecordKind::kFolderCreated:
            fine = f.size() == PathField::kCount && places.FolderAllowed(f[PathField::kPath]);
            break;
        case RecordKind::kKeyCreated:
            fine = f.size() == KeyField::kCount && places.KeyAllowed(f[KeyField::kRoot], f[KeyField::kKey], false);
            break;
        case RecordKind::kValueSet: {
            namespace V = ValueField;
            fine = f.size() == V::kCount && places.KeyAllowed(f[V::kRoot], f[V::kKey], true) &&
                   (f[V::kExisted] == kValueAbsent || f[V::kExisted] == kValueExisted) && !f[V::kType].empty() &&
                   f[V::kType].size() < 4 && AllHex(f[V::kType], L"") && f[V::kData].size() % 2 == 0 &&
                   AllHex(f[V::kData], L"");
            break;
        }
        case RecordKind::kLayoutRegistered:
            fine = f.size() == LayoutField::kCount && Same(f[LayoutField::kImeFile], places.imeFile) &&
                   AllHex(f[LayoutField::kBefore], L",");
            break;
        case RecordKind::kFontAdded:
            fine = f.size() == PathField::kCount && PlainFullPath(f[PathField::kPath]) &&
                   Within(f[PathField::kPath], places.fonts);
            break;
        case RecordKind::kRestartRename:
            fine = f.size() == RenameField::kCount && places.FileAllowed(f[RenameField::kSource]) &&
                   (f[RenameField::kTarget].empty() || places.FileAllowed(f[RenameField::kTarget]));
            break;
        default: break;
        }
        if (!fine) return false;
    }
    return true;
}

bool Running(DWORD pid) {
    fw::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    return process.Valid() && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

LeftJournals UndoLeftJournals(const wchar_t* packageName) {
    LeftJournals outcome;
    if (!IsPlainPackageName(packageName)) return outcome;
    wchar_t common[MAX_PATH];
    if (!GetShellFolder(CSIDL_COMMON_APPDATA, common)) return outcome;
    const std::wstring start = std::wstring(kJournalFolderPrefix) + packageName + L".";
    wchar_t pattern[kPathChars];
    JoinPath(pattern, common, start.c_str(), L"*");
    WIN32_FIND_DATAW found;
    fw::FindHandle search(FindFirstFileW(pattern, &found));
    std::vector<std::wstring> names;
    for (bool more = search.Valid(); more; more = FindNextFileW(search.Get(), &found)) {
        // Only a folder can be a journal; a file of that name only keeps this run from making one.
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        // Another package's name may begin with this one's and a dot: the rest must be a pid
        // and the random part (an older version left the pid alone).
        std::wstring rest = found.cFileName + start.size();
        const size_t dot = rest.find(L'.');
        if (dot != std::wstring::npos) {
            const std::wstring random = rest.substr(dot + 1);
            if (random.size() != 16 || random.find_first_not_of(L"0123456789abcdef") != std::wstring::npos) continue;
            rest.resize(dot);
        }
        if (rest.empty() || rest.size() > 10 || rest.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
        names.push_back(found.cFileName);
    }
    for (const std::wstring& name : names) {
        wchar_t path[kPathChars];
        JoinPath(path, common, name.c_str(), L"\\");
        const std::wstring folder = path;
        const DWORD pid = wcstoul(name.c_str() + start.size(), nullptr, 10);
        if (pid != GetCurrentProcessId() && Running(pid)) continue;  // a run still at work
        const DWORD attributes = GetFileAttributesW(WithoutBackslash(folder).c_str());
        std::vector<JournalRecord> entries;
        Places places;
        unsigned kept = 0;
        namespace H = HeaderField;
        const bool fine = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && WritableByAdministratorsOnly(folder.c_str()) &&
                          ReadJournal(folder, entries) && entries[0].fields.size() == H::kCount &&
                          entries[0].fields[H::kVersion] == kJournalVersion && Same(entries[0].fields[H::kPackage], packageName) &&
                          wcstoul(entries[0].fields[H::kProcess].c_str(), nullptr, 10) == pid &&
                          GetInstallPlaces(packageName, entries[0].fields[H::kInstallFolder].c_str(), places) &&
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
