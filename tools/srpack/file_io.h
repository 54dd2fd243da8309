// Whole-file reading and writing, temporary files, and the system's wording of an error.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tools/srpack/status.h"

// Files up to 4 GiB - 1: the installer addresses its own file with 32-bit offsets.
Status ReadWholeFile(const std::wstring& path, std::vector<BYTE>& bytes);
// Creates or replaces the file; a file left half written is removed.
Status WriteWholeFile(const std::wstring& path, const std::vector<BYTE>& bytes);

bool IsFolder(const std::wstring& path);
bool IsFile(const std::wstring& path);

// The system's sentence for a Win32 error code, in English where the system has it.
std::wstring SystemMessage(DWORD error);

// The temporary folder (%TEMP%), with its trailing backslash.
std::wstring TempFolder();

// A new empty file of a unique name in the temporary folder, deleted when the owner ends.
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    Status Create(const wchar_t* prefix);
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};
