// Placeholder until the strings land.
#include "support/strings.h"
DWORD CreateFolderTree(const wchar_t*) { return 0; }
