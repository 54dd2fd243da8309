// Placeholder until the mapping lands: a minimal mapping for the start-up's own use.
#include "payload/mapfile.h"
#include "support/bounded_text.h"

int MapFileOpen(MAPFILE** out, const wchar_t* path, int writable) {
    *out = nullptr;
    MAPFILE* m = new MAPFILE{};
    m->file = CreateFileW(path, writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (m->file == INVALID_HANDLE_VALUE) { delete m; return 0; }
    m->size = GetFileSize(m->file, nullptr);
    m->mapping = CreateFileMappingW(m->file, nullptr, writable ? PAGE_READWRITE : PAGE_READONLY, 0, m->size, nullptr);
    m->view = m->mapping ? MapViewOfFile(m->mapping, writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (!m->view) { if (m->mapping) CloseHandle(m->mapping); CloseHandle(m->file); delete m; return 0; }
    CopyCut(m->path, path);
    *out = m;
    return 1;
}
int MapFileCreate(DWORD size, const wchar_t* path, MAPFILE** out) {
    *out = nullptr;
    MAPFILE* m = new MAPFILE{};
    m->file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (m->file == INVALID_HANDLE_VALUE) { delete m; return 0; }
    m->size = size;
    m->mapping = CreateFileMappingW(m->file, nullptr, PAGE_READWRITE, 0, size, nullptr);
    m->view = m->mapping ? MapViewOfFile(m->mapping, FILE_MAP_WRITE, 0, 0, 0) : nullptr;
    if (!m->view) { if (m->mapping) CloseHandle(m->mapping); CloseHandle(m->file); delete m; return 0; }
    CopyCut(m->path, path);
    *out = m;
    return 1;
}
int MapFileResize(MAPFILE*, DWORD) { return 0; }
void MapFileRelease(MAPFILE* m, int flush) {
    if (!m) return;
    if (flush) FlushViewOfFile(m->view, 0);
    UnmapViewOfFile(m->view); CloseHandle(m->mapping); CloseHandle(m->file); delete m;
}
SR_MapFileIO::SR_MapFileIO() : m_path{}, m_flushOnClose(0), m_map(nullptr) {}
SR_MapFileIO::~SR_MapFileIO() { CloseFile(); }
BYTE* SR_MapFileIO::GetData(DWORD offset) { return m_map ? static_cast<BYTE*>(m_map->view) + offset : nullptr; }
DWORD SR_MapFileIO::GetSize() { return m_map ? m_map->size : 0; }
int SR_MapFileIO::CreateNew(const wchar_t* path, DWORD size) { CopyCut(m_path, path); m_flushOnClose = 1; return MapFileCreate(size, m_path, &m_map); }
int SR_MapFileIO::OpenFile(const wchar_t* path, int writable) { CopyCut(m_path, path); m_flushOnClose = writable; return MapFileOpen(&m_map, m_path, writable); }
void SR_MapFileIO::CloseFile() { MapFileRelease(m_map, m_flushOnClose); m_map = nullptr; }
int SR_MapFileIO::Resize(DWORD size) { return MapFileResize(m_map, size); }
