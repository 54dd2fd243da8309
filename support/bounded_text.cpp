// Bounded copying and formatting into fixed buffers.
#include "support/bounded_text.h"

#include <cstdarg>
#include <cstdio>

void CopyCut(wchar_t* dst, size_t count, const wchar_t* src) {
    if (count == 0) return;
    size_t i = 0;
    for (; i + 1 < count && src[i]; ++i) dst[i] = src[i];
    dst[i] = 0;
}

size_t FormatCut(wchar_t* dst, size_t count, const wchar_t* format, ...) {
    if (count == 0) return 0;
    va_list args;
    va_start(args, format);
    // The msvcrt function, so that %s means a wide string whatever stdio mingw selects;
    // it writes no terminator when the text is cut, so the last unit is set here.
    int n = _vsnwprintf(dst, count - 1, format, args);
    va_end(args);
    dst[count - 1] = 0;
    if (n < 0 || static_cast<size_t>(n) >= count - 1) {
        return wcslen(dst);
    }
    dst[n] = 0;
    return static_cast<size_t>(n);
}
