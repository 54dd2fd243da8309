// Version resources of module files: reading and rewriting their strings, comparing versions,
// and carrying the branding of an installed file into the file that replaces it.
#pragma once
#include <windows.h>

#include <cstdint>

// a.b.c.d as (a << 48) | (b << 32) | (c << 16) | d, each part modulo 65536; compares as an
// unsigned number part by part.
using VersionNumber = uint64_t;

// Copies the string `name` of the file's version information into out (cut to size - 1
// characters) and returns size; 0 when the file has none or no translation holds it. With a
// null out, returns the size in bytes of the file's version information.
int GetVersionString(const wchar_t* file, const wchar_t* name, wchar_t* out, int size);
VersionNumber ParseVersion(const wchar_t* text);
// The file's "FileVersion" string as a number; 0 without one.
VersionNumber GetFileVersion64(const wchar_t* file);
// Replaces the text of every string named `name` (case matters) in the StringFileInfo of the
// file's version resource. False when the file has no version information or no translation
// holds the string.
bool SetVersionString(const wchar_t* file, const wchar_t* name, const wchar_t* text);
// Replaces version resource 1 of the file in `language` (0xFFFF: the file's own language).
bool WriteVersionResource(WORD language, const void* data, DWORD size, const wchar_t* file);
// Writes the source module's resource (type, name) into the target, in the target's language.
bool CopyModuleResource(const wchar_t* target, const wchar_t* source, const wchar_t* type, const wchar_t* name);
// Carries the installed file's icon or skin bitmaps (by component type), "FileDescription"
// and "CompanyName" into the new file.
bool ReplaceBrandResources(const wchar_t* newFile, int type, const wchar_t* installedFile);

// One node of a version resource as it lies in memory: this header, the key (UTF-16, with its
// terminator), padding to 4 bytes, the value, padding to 4 bytes, the children.
struct VersionNodeHeader {
    WORD wLength;       // bytes of the node and its children, without trailing padding
    WORD wValueLength;  // characters for a text value, bytes otherwise
    WORD wType;         // 1 for text
};
static_assert(sizeof(VersionNodeHeader) == 6, "a version node header is 6 bytes");
