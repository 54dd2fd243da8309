// Folders that a user may write (the package data folder, ProgramData, a log's folder) can
// change under an elevated run between the check of a path and its use: a subfolder renamed
// away and a link put in its place sends every later path elsewhere. Below such a folder the
// run works on handles instead: each folder of the way is held open without delete sharing, so
// that no process can rename or remove it while the run works in it, and what lies in it is
// opened by its name relative to that handle. A link or junction met on the way, and a file
// with a second name (a hard link), is never followed, written, re-attributed or deleted.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "framework/handles.h"

// Whether the file open at handle is a plain file at path (a full path): no link, no second
// name, and where path says, as the system names the open file.
bool IsPlainFileAt(HANDLE file, const wchar_t* path);

class HeldFolder {
public:
    struct Entry {
        std::wstring name;
        DWORD attributes;
    };

    // The folder at a full path, which must be a plain folder where its path says it is:
    // false for none, a link or junction, or a path that a link above it leads elsewhere.
    bool Open(const wchar_t* path);
    // The plain subfolder name of parent, opened relative to parent's handle.
    bool Open(const HeldFolder& parent, const wchar_t* name);

    // The folder's entries but "." and "..", read through the handle.
    std::vector<Entry> List() const;
    // Deletes the folder through its handle, which it closes; only an empty folder goes.
    bool Remove();
    // Deletes the plain file name of this folder through a handle opened relative to it; a
    // link, a file with another name too, or a file that cannot be opened stays.
    bool DeleteChildFile(const wchar_t* name) const;

    HANDLE Get() const { return m_handle.Get(); }
    // The folder's path as the system names the open folder, without "\\?\" or a trailing
    // backslash.
    const std::wstring& Path() const { return m_path; }

private:
    bool Adopt(HANDLE handle, const std::wstring& expected);

    fw::UniqueHandle m_handle;
    std::wstring m_path;
};
