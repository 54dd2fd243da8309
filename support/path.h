// Joining folders and names: exactly one backslash between them, cut like FormatCut.
#pragma once
#include <cstddef>

bool EndsWithBackslash(const wchar_t* path);

// "<folder>\<name><suffix>" into out (count units), with no second backslash when the folder
// already ends in one.
void JoinPath(wchar_t* out, size_t count, const wchar_t* folder, const wchar_t* name, const wchar_t* suffix = L"");

template <size_t N>
void JoinPath(wchar_t (&out)[N], const wchar_t* folder, const wchar_t* name, const wchar_t* suffix = L"") {
    JoinPath(out, N, folder, name, suffix);
}

// Appends a backslash to folder (count units) unless it ends in one; an empty folder, or one
// without room for it, stays as it is.
void EnsureBackslash(wchar_t* folder, size_t count);

// Whether path is folder or lies below it, by whole steps and without regard to case; a
// trailing backslash on either makes no difference. An empty folder holds nothing.
bool IsInFolder(const wchar_t* path, const wchar_t* folder);
