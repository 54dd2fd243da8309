// The stored-name rule: every step of the name is a plain step of a path.
#include "payload/stored_name.h"

#include <cwchar>

#include "support/path.h"

namespace Cabinet {

bool IsSafeStoredName(const wchar_t* name) {
    if (!name[0] || name[0] == L'\\') return false;  // empty, rooted, UNC or \\?\ prefixed
    for (const wchar_t* step = name; *step;) {
        const wchar_t* end = wcschr(step, L'\\');
        if (!IsPlainPathStep(step, end ? static_cast<size_t>(end - step) : wcslen(step))) return false;
        if (!end) break;
        step = end + 1;
    }
    return true;
}

bool IsPlainFileName(const wchar_t* name) { return !wcspbrk(name, L"\\/") && IsSafeStoredName(name); }

}  // namespace Cabinet
