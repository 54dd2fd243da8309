// What an install takes when nobody chose: the registered owner and organisation, the folder
// of the installation already there, or the folder under the program-files folder.
#pragma once
#include <cstddef>

#include "run/run_state.h"

constexpr size_t kRegisteredNameChars = 128;  // 256 bytes, as the names are read

// Fills whichever of the two is empty from the system's registered owner and organisation.
void ReadRegisteredNames(wchar_t* userName, wchar_t* companyName);

// "<program files>\<name>\"; false when the program-files folder is not known.
bool DefaultInstallFolder(wchar_t* folder, const wchar_t* packageName);

// The folder that the machine's "SMEInstallPath" records for the package, when the
// installation-folder rule lets an install use it: normalised, with its trailing backslash.
// False (folder empty) when there is none or it is refused; an install then takes the default.
bool RecordedInstallFolder(const wchar_t* packageName, wchar_t (&folder)[kPathChars]);
