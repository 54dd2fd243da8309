// Folders held open, and what lies in them opened relative to their handles.
#include "run/held_folder.h"

#include <winternl.h>

#include <cwchar>

#include "run/run_state.h"
#include "support/path.h"

namespace {

// Opened relative to root by name alone, as the link or file itself, never what it leads to
// (where the system honours that; Wine gives the target, which the path check below shows).
HANDLE OpenBelow(HANDLE root, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG options) {
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t*>(name);
    text.Length = text.MaximumLength = static_cast<USHORT>(wcslen(name) * sizeof(wchar_t));
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, root, nullptr);
    IO_STATUS_BLOCK status;
    HANDLE handle = nullptr;
    const ULONG kOpen = 1;  // FILE_OPEN: only what exists
    const NTSTATUS opened = NtCreateFile(&handle, access | SYNCHRONIZE, &object, &status, nullptr, 0, share, kOpen,
                                         options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    return opened >= 0 ? handle : nullptr;
}

DWORD AttributesOf(HANDLE handle) {
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return INVALID_FILE_ATTRIBUTES;
    return basic.FileAttributes;
}

// Whether the open object is where expected says: under Wine a link opens as its target and
// only the name the system gives the open object shows it.
bool IsAt(HANDLE handle, const std::wstring& expected) {
    wchar_t final[kPathChars + 8];
    const DWORD length = GetFinalPathNameByHandleW(handle, final, kPathChars + 8, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= kPathChars + 8) return false;
    const wchar_t* path = wcsncmp(final, L"\\\\?\\", 4) == 0 ? final + 4 : final;
    return SamePath(path, expected.c_str());
}

bool IsPlainFile(HANDLE file, const std::wstring& expected) {
    FILE_STANDARD_INFO standard;
    const DWORD attributes = AttributesOf(file);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
           GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) &&
           standard.NumberOfLinks == 1 && IsAt(file, expected);
}

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | DELETE;
// Others may read and write below a held folder, never rename or remove it.
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

bool IsPlainFileAt(HANDLE file, const wchar_t* path) {
    wchar_t longPath[kPathChars];
    const DWORD length = GetLongPathNameW(path, longPath, kPathChars);
    return length && length < kPathChars && IsPlainFile(file, longPath);
}

bool HeldFolder::Adopt(HANDLE handle, const std::wstring& expected) {
    m_handle.Reset(handle);
    m_path.clear();
    if (!m_handle.Valid()) return false;
    const DWORD attributes = AttributesOf(handle);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !IsAt(handle, expected)) {
        m_handle.Reset();
        return false;
    }
    m_path = expected;
    return true;
}

bool HeldFolder::Open(const wchar_t* path) {
    // The path as the system would name it: full, long names, no trailing backslash.
    wchar_t full[kPathChars], longPath[kPathChars];
    DWORD length = GetFullPathNameW(path, kPathChars, full, nullptr);
    if (length == 0 || length >= kPathChars) return false;
    length = GetLongPathNameW(full, longPath, kPathChars);
    if (length == 0 || length >= kPathChars) return false;
    longPath[LengthWithoutBackslash(longPath)] = 0;
    return Adopt(CreateFileW(longPath, kFolderAccess, kFolderShare, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr),
                 longPath);
}

bool HeldFolder::Open(const HeldFolder& parent, const wchar_t* name) {
    if (!parent.m_handle.Valid() || !IsPlainPathStep(name, wcslen(name))) return false;
    return Adopt(OpenBelow(parent.Get(), name, kFolderAccess, kFolderShare, FILE_DIRECTORY_FILE),
                 JoinedPath(parent.m_path, name));
}

std::vector<HeldFolder::Entry> HeldFolder::List() const {
    std::vector<Entry> entries;
    if (!m_handle.Valid()) return entries;
    // On the heap: the walk goes down a folder tree as deep as the tree, a listing a level.
    std::vector<ULONGLONG> buffer(2048);
    const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(ULONGLONG));
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(m_handle.Get(), kind, buffer.data(), bytes)) {
        kind = FileIdBothDirectoryInfo;
        for (const BYTE* at = reinterpret_cast<const BYTE*>(buffer.data());;) {
            const auto* found = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            std::wstring name(found->FileName, found->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") entries.push_back({name, found->FileAttributes});
            if (!found->NextEntryOffset) break;
            at += found->NextEntryOffset;
        }
    }
    return entries;
}

bool HeldFolder::Remove() {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    const bool marked = m_handle.Valid() && SetFileInformationByHandle(m_handle.Get(), FileDispositionInfo,
                                                                       &disposition, sizeof disposition);
    m_handle.Reset();
    m_path.clear();
    return marked;
}

bool HeldFolder::DeleteChildFile(const wchar_t* name) const {
    if (!m_handle.Valid() || !IsPlainPathStep(name, wcslen(name))) return false;
    fw::UniqueHandle file(OpenBelow(m_handle.Get(), name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_NON_DIRECTORY_FILE));
    if (!file.Valid() || !IsPlainFile(file.Get(), JoinedPath(m_path, name))) return false;
    // A read-only file cannot be deleted; the times stay as they are (zero).
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof basic);
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition, sizeof disposition);
}
