// What an install takes when nobody chose: the registered owner and organisation, and the
// folder under the program-files folder.
#pragma once
#include <cstddef>

constexpr size_t kRegisteredNameChars = 128;  // 256 bytes, as the names are read

// Fills whichever of the two is empty from the system's registered owner and organisation.
void ReadRegisteredNames(wchar_t* userName, wchar_t* companyName);

// "<program files>\<name>\"; false when the program-files folder is not known.
bool DefaultInstallFolder(wchar_t* folder, const wchar_t* packageName);
