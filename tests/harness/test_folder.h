// Test helpers: a scratch folder of each test's own, and small file, text, registry and
// shell-folder helpers.
#pragma once
#include <windows.h>
#include <shlobj.h>  // the CSIDL_ values of ShellFolder

#include <string>
#include <vector>

namespace test {

// A new empty folder in "srtests" of the system drive (outside every profile, so that an
// installation may go there), removed with everything in it at the end. Path() ends with a
// backslash.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + name; }

private:
    std::wstring m_path;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
void RemoveTree(const std::wstring& path);
// The names of what a folder holds; none when it cannot be read.
std::vector<std::wstring> Entries(const std::wstring& folder);

// UTF-8 of a text, for messages and for the narrow paths of the cabinet library.
std::string Utf8(const std::wstring& text);
// Lines one below the other, in UTF-8, for a failure's message.
std::string Shown(const std::vector<std::wstring>& lines);

// A folder of the shell's (a CSIDL_ value), without its backslash; empty when it has none.
std::wstring ShellFolder(int csidl);

// Sets or deletes (value null) a string value; creates the key when needed.
void SetRegString(HKEY root, const std::wstring& key, const wchar_t* name, const wchar_t* value);
void DeleteRegTree(HKEY root, const std::wstring& key);
// A string value; "(missing)" when there is none.
std::wstring RegText(HKEY root, const std::wstring& key, const wchar_t* name);
bool KeyExists(HKEY root, const std::wstring& key);

// Access lists as SDDL text: a security descriptor's, a file's or folder's, and a key's of
// HKEY_LOCAL_MACHINE; empty when there is none to read.
std::wstring DaclText(PSECURITY_DESCRIPTOR descriptor);
std::wstring FileDaclText(const std::wstring& path);
std::wstring MachineKeyDaclText(const std::wstring& key);

// Takes the entry that moves `source` at the next restart out of the system's rename list
// (PendingFileRenameOperations) and returns its destination as stored there, "!\??\<path>"
// for a replacing move; "(no entry)" when the list has none for it.
std::wstring TakePendingRename(const std::wstring& source);
// Takes the entry that replaces `destination` at the next restart out of the list and returns
// the file it comes from, without "\??\"; "(no entry)" when the list has none.
std::wstring TakePendingReplacementOf(const std::wstring& destination);

// The system folder as this test program names it (System32 also under WOW64), without its
// backslash.
std::wstring SystemFolder();

// The folder that this test program sees as its system folder, by its name on disk: SysWOW64
// for a 32-bit program under WOW64, else System32. What outlives a process names it so.
std::wstring SystemFolderOnDisk();

// The program that is being tested, beside the test program in the same folder.
std::wstring ProgramBeside(const wchar_t* name);

}  // namespace test
