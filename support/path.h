// The one vocabulary for paths: joining folders and names, comparing paths, the rule for one
// plain step of a path, and the shell's folders.
#pragma once
#include <cstddef>
#include <string>

bool EndsWithBackslash(const wchar_t* path);

// "<folder>\<name><suffix>" into out (count units), with no second backslash when the folder
// already ends in one; cut like FormatCut, and like it returns the length written.
size_t JoinPath(wchar_t* out, size_t count, const wchar_t* folder, const wchar_t* name, const wchar_t* suffix = L"");

template <size_t N>
size_t JoinPath(wchar_t (&out)[N], const wchar_t* folder, const wchar_t* name, const wchar_t* suffix = L"") {
    return JoinPath(out, N, folder, name, suffix);
}

// The same join without a bound, for the extractor's and the package generator's paths: a
// folder that ends in "\" or "/" (the generator's folders come from a command line) gets no
// second separator, and a name joins onto an empty folder as itself, so that a stored name's
// folder steps can be built up from "".
std::wstring JoinedPath(const std::wstring& folder, const std::wstring& name);

// The length of path without its trailing backslashes; a drive's root keeps its own ("C:\").
size_t LengthWithoutBackslash(const wchar_t* path);

// Appends a backslash to folder (count units) unless it ends in one; an empty folder, or one
// without room for it, stays as it is.
void EnsureBackslash(wchar_t* folder, size_t count);

// Whether two paths name the same place by their text, without regard to case as the file
// system compares names (CompareStringOrdinal, which folds non-ASCII letters too).
bool SamePath(const wchar_t* a, const wchar_t* b);

// Whether the last units of the length at path are tail (not empty), compared as SamePath
// compares; path need not be terminated.
bool EndsWithPath(const wchar_t* path, size_t length, const wchar_t* tail);

// Whether path is folder or lies below it, by whole steps and without regard to case; a
// trailing backslash on either makes no difference. An empty folder holds nothing.
bool IsInFolder(const wchar_t* path, const wchar_t* folder);

// Whether the length units at step make one plain step of a path, which names the same file
// wherever it is appended: not empty, "." or "..", no trailing dot or blank (the system drops
// them, so "..." would be ".."), no "\", "/", ":" (a drive or a stream), wildcard, quote,
// "<", ">", "|" or control character, and no device name (CON, AUX.txt, COM1 …).
bool IsPlainPathStep(const wchar_t* step, size_t length);

// A folder of the shell's (a CSIDL_ value, CSIDL_FLAG_CREATE allowed) into out, which holds
// MAX_PATH units; false (out empty) when the shell does not know it.
bool GetShellFolder(int csidl, wchar_t* out);
