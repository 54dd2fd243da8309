// Whole-file memory mapping: one view from offset 0 to the file's size.
#pragma once
#include <windows.h>

struct MAPFILE {
    DWORD size;            // of the file and the view (the low 32 bits of the file size)
    wchar_t path[260];     // the path that was mapped
    HANDLE file;
    HANDLE mapping;
    void* view;
};

int MapFileOpen(MAPFILE** out, const wchar_t* path, int writable);
int MapFileCreate(DWORD size, const wchar_t* path, MAPFILE** out);
int MapFileResize(MAPFILE* map, DWORD size);
void MapFileRelease(MAPFILE* map, int flush);

class SR_MapFileIO {
public:
    SR_MapFileIO();
    ~SR_MapFileIO();
    SR_MapFileIO(const SR_MapFileIO&) = delete;
    SR_MapFileIO& operator=(const SR_MapFileIO&) = delete;

    virtual BYTE* GetData(DWORD offset);
    virtual DWORD GetSize();
    virtual int CreateNew(const wchar_t* path, DWORD size);
    virtual int OpenFile(const wchar_t* path, int writable);
    virtual void CloseFile();
    virtual int Resize(DWORD size);

private:
    wchar_t m_path[260];
    int m_flushOnClose;
    MAPFILE* m_map;
};
