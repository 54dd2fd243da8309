// The install journal: recording each change before it is made, and undoing them backwards.
#include "install/journal.h"

#include <shlobj.h>

#include <algorithm>
#include <cwchar>

#include "install/install_steps.h"
#include "payload/records.h"
#include "run/access.h"
#include "run/file_placement.h"
#include "run/folders.h"
#include "run/install_layout.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";
// An old value larger than this is not one the installer writes over.
constexpr DWORD kMaxValueBytes = 64 * 1024;

const wchar_t* RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return kMachineRoot;
    if (root == HKEY_CURRENT_USER) return kUserRoot;
    return nullptr;
}

HKEY RootOf(const std::wstring& name) {
    if (name == kMachineRoot) return HKEY_LOCAL_MACHINE;
    if (name == kUserRoot) return HKEY_CURRENT_USER;
    return nullptr;
}

std::wstring KeptName(unsigned index) {
    wchar_t name[16];
    FormatCut(name, 16, kKeptFileFormat, index);
    return name;
}

std::wstring Upper(std::wstring text) {
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool KeyExists(HKEY root, const std::wstring& key) {
    fw::RegKey opened;
    return opened.Open(root, key.c_str(), KEY_READ);
}

std::wstring Hex(const BYTE* data, DWORD count) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(count * 2);
    for (DWORD i = 0; i < count; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text;
}

bool Unhex(const std::wstring& text, std::vector<BYTE>& out) {
    if (text.size() % 2) return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        int value = 0;
        for (size_t j = i; j < i + 2; ++j) {
            const wchar_t c = text[j];
            const int digit = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        out.push_back(static_cast<BYTE>(value));
    }
    return true;
}

// True when both files hold the same bytes; false also when either cannot be read.
bool SameContent(const wchar_t* a, const wchar_t* b) {
    fw::UniqueHandle fa(CreateFileW(a, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    fw::UniqueHandle fb(CreateFileW(b, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER sa, sb;
    if (!fa.Valid() || !fb.Valid() || !GetFileSizeEx(fa.Get(), &sa) || !GetFileSizeEx(fb.Get(), &sb) ||
        sa.QuadPart != sb.QuadPart) {
        return false;
    }
    std::vector<BYTE> ba(1 << 16), bb(1 << 16);
    for (;;) {
        DWORD ra = 0, rb = 0;
        if (!ReadFile(fa.Get(), ba.data(), 1 << 16, &ra, nullptr) || !ReadFile(fb.Get(), bb.data(), 1 << 16, &rb, nullptr) ||
            ra != rb) {
            return false;
        }
        if (!ra) return true;
        if (memcmp(ba.data(), bb.data(), ra) != 0) return false;
    }
}

// Takes the pair that renames source at the next restart out of the system's list again.
void WithdrawRestartRename(const std::wstring& source) {
    fw::RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kSessionManagerKey, KEY_QUERY_VALUE | KEY_SET_VALUE)) return;
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key.Get(), kPendingRenames, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ) {
        return;
    }
    std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 2, L'\0');
    if (RegQueryValueExW(key.Get(), kPendingRenames, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &bytes) !=
        ERROR_SUCCESS) {
        return;
    }
    // The list is pairs of strings, source then target (empty for a deletion).
    std::vector<std::wstring> strings;
    const size_t units = bytes / sizeof(wchar_t);
    for (size_t at = 0; at < units;) {
        const std::wstring text(&data[at]);
        strings.push_back(text);
        at += text.size() + 1;
    }
    while (!strings.empty() && strings.back().empty() && strings.size() % 2) strings.pop_back();
    const std::wstring wanted = L"\\??\\" + source;
    std::wstring kept;
    bool found = false;
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
        if (!found && SamePath(strings[i].c_str(), wanted.c_str())) {
            found = true;
            continue;
        }
        kept += strings[i] + L'\0' + strings[i + 1] + L'\0';
    }
    if (!found) return;
    if (kept.empty()) {
        RegDeleteValueW(key.Get(), kPendingRenames);
        return;
    }
    kept += L'\0';
    RegSetValueExW(key.Get(), kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                   static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
}

// A file the run made: deleted now, or at the next restart when it is in use.
void UndoCreatedFile(const std::wstring& path, std::vector<std::wstring>& deferred) {
    if (!PathExists(path.c_str())) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(path.c_str())) return;
    if (MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) deferred.push_back(path);
}

// A file the run replaced: its old bytes put back now, or from a copy beside it at the next
// restart when it is in use.
void UndoReplacedFile(const std::wstring& path, const std::wstring& kept, std::vector<std::wstring>& deferred) {
    if (!PathExists(kept.c_str()) || SameContent(kept.c_str(), path.c_str())) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (CopyFileW(kept.c_str(), path.c_str(), FALSE)) return;
    wchar_t folder[kPathChars], staged[kPathChars];
    CopyCut(folder, path.c_str());
    if (wchar_t* slash = wcsrchr(folder, L'\\')) slash[1] = 0;
    if (ReserveFileName(folder, kUndoCopyPrefix, staged) && StageForRestart(kept.c_str(), staged, path.c_str(), NoRecorder())) {
        deferred.push_back(path);
    }
}

void UndoValue(const std::vector<std::wstring>& f) {
    const HKEY root = RootOf(f[ValueField::kRoot]);
    fw::RegKey key;
    if (!root || !key.Open(root, f[ValueField::kKey].c_str(), KEY_SET_VALUE)) return;
    const wchar_t* name = f[ValueField::kName].c_str();
    std::vector<BYTE> data;
    if (f[ValueField::kExisted] == kValueExisted && Unhex(f[ValueField::kData], data)) {
        const DWORD type = wcstoul(f[ValueField::kType].c_str(), nullptr, 10);
        RegSetValueExW(key.Get(), name, 0, type, data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size()));
    } else if (f[ValueField::kExisted] == kValueAbsent) {
        RegDeleteValueW(key.Get(), name);
    }
}

void UndoLayout(const std::vector<std::wstring>& f) {
    const std::wstring& list = f[LayoutField::kBefore];
    std::vector<std::wstring> before;
    for (size_t at = 0; at < list.size();) {
        size_t comma = list.find(L',', at);
        if (comma == std::wstring::npos) comma = list.size();
        before.push_back(list.substr(at, comma - at));
        at = comma + 1;
    }
    for (HKL layout : FindImeLayouts(f[LayoutField::kImeFile].c_str())) {
        const std::wstring hex = LayoutHex(layout);
        const bool old = std::any_of(before.begin(), before.end(),
                                     [&](const std::wstring& b) { return _wcsicmp(b.c_str(), hex.c_str()) == 0; });
        if (!old) RemoveImeLayout(layout);
    }
}

}  // namespace

bool InstallJournal::Begin(const wchar_t* packageName, const wchar_t* installFolder) {
    if (Active() || !IsPlainPackageName(packageName)) return false;
    wchar_t common[MAX_PATH];
    if (!GetShellFolder(CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, common)) return false;
    wchar_t prefix[kPathChars], folder[kPathChars];
    FormatCut(prefix, kPathChars, L"%s%s.%lu.", kJournalFolderPrefix, packageName, GetCurrentProcessId());
    // The all-users application-data folder lets every user create there: a name that could
    // be guessed could be taken beforehand, by a folder, a file or a link, to stop every run.
    if (!CreateUnguessableFolder(common, prefix, folder)) return false;
    m_folder = folder;
    wchar_t path[kPathChars];
    JoinPath(path, folder, kJournalFile);
    m_file.Reset(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    wchar_t pid[16];
    FormatCut(pid, 16, L"%lu", GetCurrentProcessId());
    if (!Active() || !Record(RecordKind::kHeader, {kJournalVersion, packageName, pid, installFolder}) || !Flush()) {
        m_file.Reset();
        RemoveFolder();
        return false;
    }
    return true;
}

bool InstallJournal::Record(RecordKind kind, std::vector<std::wstring> fields) {
    if (!Active()) return false;
    std::wstring line(1, static_cast<wchar_t>(kind));
    for (const std::wstring& field : fields) {
        // A tab or line break would make the line read back as other fields.
        if (field.find_first_of(L"\t\r\n") != std::wstring::npos) return false;
        line += L'\t';
        line += field;
    }
    line += L'\n';
    if (m_holding) m_held += line;
    else if (!Write(line)) return false;
    if (kind != RecordKind::kHeader) m_entries.push_back({kind, std::move(fields)});
    return true;
}

// Written at once, with no buffer of ours: a run that is killed leaves the lines in the
// system's cache, which reaches the disk without the process.
bool InstallJournal::Write(const std::wstring& lines) {
    const DWORD bytes = static_cast<DWORD>(lines.size() * sizeof(wchar_t));
    DWORD written = 0;
    return WriteFile(m_file.Get(), lines.data(), bytes, &written, nullptr) && written == bytes;
}

bool InstallJournal::WriteHeldRecords() {
    m_holding = false;
    const bool written = m_held.empty() || (Active() && Write(m_held));
    m_held.clear();
    return written;
}

bool InstallJournal::Flush() { return Active() && FlushFileBuffers(m_file.Get()); }

InstallJournal::Prior InstallJournal::BeforeFileWrite(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return Prior::kNotKept;
        return Record(RecordKind::kFileCreated, {path}) ? Prior::kAbsent : Prior::kRefused;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Prior::kRefused;
    const std::wstring name = KeptName(++m_kept);
    wchar_t kept[kPathChars];
    JoinPath(kept, m_folder.c_str(), name.c_str());
    // Copied, not moved: the file stays where it is until the caller writes over it, and a
    // file the system has loaded can be read but not always moved.
    if (!CopyFileW(path, kept, FALSE)) {
        DeleteFileW(kept);
        return Prior::kNotKept;
    }
    // The record reaches the system before the caller writes over the file, which is what a
    // killed run needs; flushing it to the disk each time cost seconds per thousand files
    // replaced, and protected only against a power cut, which the copy in the system's cache
    // would not outlive either. Each step ends with a flush.
    return Record(RecordKind::kFileReplaced, {path, name}) ? Prior::kKept : Prior::kRefused;
}

bool InstallJournal::BeforeFolderCreate(const wchar_t* folder) { return Record(RecordKind::kFolderCreated, {folder}); }

bool InstallJournal::FileCreated(const wchar_t* path) { return Record(RecordKind::kFileCreated, {path}); }

bool InstallJournal::BeforeRestartRename(const wchar_t* source, const wchar_t* target) {
    return Record(RecordKind::kRestartRename, {source, target ? target : L""});
}

bool InstallJournal::BeforeKeyCreate(HKEY root, const wchar_t* key) {
    const wchar_t* rootName = RootName(root);
    if (!rootName) return false;
    const std::wstring path = key;
    for (size_t slash = path.find(L'\\'); ; slash = path.find(L'\\', slash + 1)) {
        const std::wstring prefix = path.substr(0, slash);
        if (!prefix.empty() && !KeyExists(root, prefix)) {
            if (!Record(RecordKind::kKeyCreated, {rootName, prefix})) return false;
            m_createdKeys.insert(Upper(std::wstring(rootName) + L"\\" + prefix));
        }
        if (slash == std::wstring::npos) return true;
    }
}

bool InstallJournal::BeforeValueWrite(HKEY root, const wchar_t* key, const wchar_t* name) {
    const wchar_t* rootName = RootName(root);
    if (!rootName) return false;
    if (m_createdKeys.count(Upper(std::wstring(rootName) + L"\\" + key))) return true;
    fw::RegKey opened;
    const std::vector<std::wstring> absent = {rootName, key, name, kValueAbsent, L"0", L""};
    if (!opened.Open(root, key, KEY_QUERY_VALUE)) return Record(RecordKind::kValueSet, absent);
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(opened.Get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) {
        return Record(RecordKind::kValueSet, absent);
    }
    if (bytes > kMaxValueBytes) return false;
    std::vector<BYTE> data(bytes + 1);
    if (RegQueryValueExW(opened.Get(), name, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS) return false;
    return Record(RecordKind::kValueSet, {rootName, key, name, kValueExisted, std::to_wstring(type), Hex(data.data(), bytes)});
}

bool InstallJournal::BeforeLayoutRegister(const wchar_t* imeFileName) {
    std::wstring before;
    for (const std::wstring& layout : RegisteredImeLayouts(imeFileName)) before += (before.empty() ? L"" : L",") + layout;
    // The system makes the parent of the layouts' keys with the first layout it registers.
    return BeforeKeyCreate(HKEY_LOCAL_MACHINE, kKeyboardLayoutsKey) &&
           Record(RecordKind::kLayoutRegistered, {imeFileName, before}) && Flush();
}

bool InstallJournal::FontAdded(const wchar_t* path) { return Record(RecordKind::kFontAdded, {path}); }

std::vector<std::wstring> InstallJournal::Undo() {
    std::vector<std::wstring> deferred;
    for (auto entry = m_entries.rbegin(); entry != m_entries.rend(); ++entry) {
        const std::vector<std::wstring>& f = entry->fields;
        switch (entry->kind) {
        case RecordKind::kFileCreated: UndoCreatedFile(f[PathField::kPath], deferred); break;
        case RecordKind::kFileReplaced:
            UndoReplacedFile(f[ReplacedField::kPath], m_folder + f[ReplacedField::kKept], deferred);
            break;
        case RecordKind::kFolderCreated: {
            // Emptied by the entries after it; one that holds a file left for the restart
            // goes after that file.
            const wchar_t* folder = f[PathField::kPath].c_str();
            if (!RemoveDirectoryW(folder) && PathExists(folder) && !deferred.empty()) {
                MoveFileExW(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            }
            break;
        }
        case RecordKind::kKeyCreated:
            // Never a tree: the keys below it that the run made went first.
            if (HKEY root = RootOf(f[KeyField::kRoot])) RegDeleteKeyW(root, f[KeyField::kKey].c_str());
            break;
        case RecordKind::kValueSet: UndoValue(f); break;
        case RecordKind::kLayoutRegistered: UndoLayout(f); break;
        case RecordKind::kFontAdded: RemoveFontResourceW(f[PathField::kPath].c_str()); break;
        case RecordKind::kRestartRename: WithdrawRestartRename(f[RenameField::kSource]); break;
        default: break;
        }
    }
    m_entries.clear();
    m_createdKeys.clear();
    m_file.Reset();
    RemoveFolder();
    return deferred;
}

void InstallJournal::Adopt(std::wstring folder, std::vector<JournalRecord> entries, unsigned kept) {
    m_file.Reset();
    m_folder = std::move(folder);
    m_entries = std::move(entries);
    m_kept = kept;
}

void InstallJournal::Finish() {
    m_entries.clear();
    m_createdKeys.clear();
    m_file.Reset();
    RemoveFolder();
}

// By the names the journal gave its files: nothing else is looked for in the folder.
void InstallJournal::RemoveFolder() {
    if (m_folder.empty()) return;
    wchar_t path[kPathChars];
    JoinPath(path, m_folder.c_str(), kJournalFile);
    DeleteFileW(path);
    for (unsigned i = 1; i <= m_kept; ++i) {
        JoinPath(path, m_folder.c_str(), KeptName(i).c_str());
        DeleteFileW(path);
    }
    RemoveDirectoryW(m_folder.c_str());
    m_folder.clear();
    m_kept = 0;
}
