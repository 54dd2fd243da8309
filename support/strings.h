// Growable strings and a byte buffer for the cabinet extractor and the update worker.
#pragma once
#include <windows.h>

// Creates every missing folder of a path; returns a Win32 error code (0 when done).
DWORD CreateFolderTree(const wchar_t* path);
