// Bounded copying and formatting into fixed buffers: a longer result is cut, never an error.
#pragma once
#include <cstddef>
#include <cwchar>

// Copies at most count-1 characters of src into dst and terminates it.
void CopyCut(wchar_t* dst, size_t count, const wchar_t* src);

// Formats into dst with the platform's conventions (%s is a wide string, %S a narrow
// one), cut at count-1 characters and always terminated. Returns the length written.
size_t FormatCut(wchar_t* dst, size_t count, const wchar_t* format, ...);

template <size_t N>
void CopyCut(wchar_t (&dst)[N], const wchar_t* src) {
    CopyCut(dst, N, src);
}
