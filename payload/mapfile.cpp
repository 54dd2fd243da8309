// Whole-file memory mapping: the MAPFILE functions and the SR_MapFileIO class over them.
#include "payload/mapfile.h"

#include <shlobj.h>

#include <cwchar>

#include "support/bounded_text.h"
#include "support/path.h"

namespace {

const DWORD kPathChars = 260;

const wchar_t kAllocCaption[] = L"程序分配内存失败";
const wchar_t kAllocText[] =
    L"由于在创建内存映射文件时,无法分配MAPFILE结构的缓冲导致失败.请与我们联系\r\n"
    L"https://www.soramo-ime.com/contact";

MAPFILE* NewRecord() { return static_cast<MAPFILE*>(GlobalAlloc(GPTR, sizeof(MAPFILE))); }

// Closes whatever part of a record is open and frees it; the record may be half made.
void FreeRecord(MAPFILE* map) {
    if (map->view) UnmapViewOfFile(map->view);
    if (map->mapping) CloseHandle(map->mapping);
    if (map->file && map->file != INVALID_HANDLE_VALUE) CloseHandle(map->file);
    ZeroMemory(map, sizeof *map);
    GlobalFree(map);
}

// Moves the end of the file to size bytes from its start. The high word is passed so that a
// size of 2 GiB or more is not taken as a negative distance.
bool SetFileSize(HANDLE file, DWORD size) {
    LONG high = 0;
    if (SetFilePointer(file, static_cast<LONG>(size), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
        return false;
    }
    return SetEndOfFile(file) != FALSE;
}

// Maps the record's file whole: size bytes, read-only or read-write.
bool MapView(MAPFILE* map, bool writable) {
    map->mapping = CreateFileMappingW(map->file, nullptr, writable ? PAGE_READWRITE : PAGE_READONLY, 0,
                                      map->size, nullptr);
    if (!map->mapping) return false;
    map->view = MapViewOfFile(map->mapping, writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, map->size);
    return map->view != nullptr;
}

// Copies the file into Documents\zuruzez\ under its own name; the copy's path goes to copy.
bool CopyToFallbackFolder(const wchar_t* path, wchar_t (&copy)[kPathChars]) {
    wchar_t folder[kPathChars];
    if (!GetShellFolder(CSIDL_PERSONAL | CSIDL_FLAG_CREATE, folder)) return false;
    wchar_t fallback[kPathChars];
    JoinPath(fallback, folder, L"zuruzez", L"\\");
    CreateDirectoryW(fallback, nullptr);  // an existing folder is fine

    const wchar_t* slash = wcsrchr(path, L'\\');
    JoinPath(copy, fallback, slash ? slash + 1 : path);
    if (!CopyFileW(path, copy, FALSE)) return false;
    // CopyFileW keeps a read-only attribute, which would make the copy as unwritable as the
    // original and stop the next copy from overwriting it.
    const DWORD attributes = GetFileAttributesW(copy);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(copy, attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return true;
}

}  // namespace

// MapFileOpen: maps an existing file whole, read-only (writable 0) or read-write. A file that
// exists but cannot be opened so is mapped through its copy in Documents\zuruzez\; opening
// that copy again goes the same way and ends when the copy onto itself fails.
// Returns 1 and stores the record, or 0 and stores null (an empty file cannot be mapped).
int MapFileOpen(MAPFILE** out, const wchar_t* path, int writable) {
    *out = nullptr;
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return 0;

    MAPFILE* map = NewRecord();
    if (!map) {
        MessageBoxW(nullptr, kAllocText, kAllocCaption, MB_OK | MB_ICONERROR);
        return 0;
    }
    map->file = CreateFileW(path, writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                            writable ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (map->file == INVALID_HANDLE_VALUE) {
        FreeRecord(map);
        wchar_t copy[kPathChars];
        if (!CopyToFallbackFolder(path, copy)) return 0;
        return MapFileOpen(out, copy, writable);
    }

    map->size = GetFileSize(map->file, nullptr);
    if (!MapView(map, writable != 0)) {
        FreeRecord(map);
        return 0;
    }
    CopyCut(map->path, path);
    *out = map;
    return 1;
}

// MapFileCreate: creates or overwrites a file of exactly size bytes and maps it read-write.
// The file stays on disk when the mapping fails, as it does for a size of 0.
// Returns 1 and stores the record, or 0 and stores null.
int MapFileCreate(DWORD size, const wchar_t* path, MAPFILE** out) {
    *out = nullptr;
    MAPFILE* map = NewRecord();
    if (!map) return 0;
    map->file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    map->size = size;
    if (map->file == INVALID_HANDLE_VALUE || !SetFileSize(map->file, size) || !MapView(map, true)) {
        FreeRecord(map);
        return 0;
    }
    CopyCut(map->path, path);
    *out = map;
    return 1;
}

// MapFileResize: gives a read-write mapping's file size bytes and maps it again; the bytes
// that both sizes cover are kept. Returns 1, or 0 with the record still to be released.
int MapFileResize(MAPFILE* map, DWORD size) {
    if (!map) return 0;
    if (map->view) {
        FlushViewOfFile(map->view, map->size);
        UnmapViewOfFile(map->view);
        map->view = nullptr;
    }
    if (map->mapping) CloseHandle(map->mapping);
    map->mapping = nullptr;

    if (!map->file || !SetFileSize(map->file, size)) return 0;
    map->size = size;
    map->mapping = CreateFileMappingW(map->file, nullptr, PAGE_READWRITE, 0, size, nullptr);
    if (!map->mapping) {
        CloseHandle(map->file);
        map->file = nullptr;
        return 0;
    }
    map->view = MapViewOfFile(map->mapping, FILE_MAP_WRITE, 0, 0, size);
    if (!map->view) {
        CloseHandle(map->mapping);
        map->mapping = nullptr;
        return 0;
    }
    return 1;
}

// MapFileRelease: flushes the whole view first when flush is nonzero, then closes and frees
// the record. A null record is ignored.
void MapFileRelease(MAPFILE* map, int flush) {
    if (!map) return;
    if (flush && map->view) FlushViewOfFile(map->view, 0);
    FreeRecord(map);
}

// SR_MapFileIO

SR_MapFileIO::SR_MapFileIO() : m_path{}, m_flushOnClose(0), m_map(nullptr) {}

SR_MapFileIO::~SR_MapFileIO() {
    if (m_map) CloseFile();
}

BYTE* SR_MapFileIO::GetData(DWORD offset) {
    return m_map && m_map->view ? static_cast<BYTE*>(m_map->view) + offset : nullptr;
}

DWORD SR_MapFileIO::GetSize() { return m_map ? m_map->size : 0; }

int SR_MapFileIO::CreateNew(const wchar_t* path, DWORD size) {
    if (m_map) CloseFile();  // one mapping per object; an earlier one would leak its handles
    CopyCut(m_path, path);
    m_flushOnClose = 1;
    return MapFileCreate(size, m_path, &m_map);
}

int SR_MapFileIO::OpenFile(const wchar_t* path, int writable) {
    if (m_map) CloseFile();
    CopyCut(m_path, path);
    m_flushOnClose = writable;
    return MapFileOpen(&m_map, m_path, writable);
}

void SR_MapFileIO::CloseFile() {
    MapFileRelease(m_map, m_flushOnClose);
    m_map = nullptr;
}

int SR_MapFileIO::Resize(DWORD size) { return MapFileResize(m_map, size); }
