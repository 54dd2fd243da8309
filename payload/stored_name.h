// The rule for a name that is appended to a folder: a name stored in a cabinet, or a plain file name.
#pragma once

namespace Cabinet {

// Whether a name stored in a cabinet stays inside the destination folder when it is
// appended to it: no absolute path, drive, device or stream, no "." or ".." component.
// Its steps are separated by "\"; a "/" is no separator here, and fails the name.
bool IsSafeStoredName(const wchar_t* name);

// One such name without any folder step ("\" or "/"): a file right inside a folder.
bool IsPlainFileName(const wchar_t* name);

}  // namespace Cabinet
