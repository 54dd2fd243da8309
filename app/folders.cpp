// Placeholder until the folder operations land.
#include "app/folders.h"
#include "support/bounded_text.h"

void MakeWorkFolderPath(wchar_t* out, const wchar_t* tempFolder) {
    size_t n = wcslen(tempFolder);
    FormatCut(out, kPathChars, n && tempFolder[n - 1] == L'\\' ? L"%s__SRIMEInstall\\" : L"%s\\__SRIMEInstall\\", tempFolder);
}
int PrepareWorkFolder(RUNSTATE* state) {
    wchar_t temp[kPathChars] = {};
    if (GetTempPathW(kPathChars, temp)) MakeWorkFolderPath(state->workFolder, temp);
    else CopyCut(state->workFolder, L"c:\\temp\\__SRIMEInstall\\");
    CreateDirectoryW(state->workFolder, nullptr);
    return 1;
}
int GrantUsersAccess(const wchar_t*) { return 1; }
int CopyFileWithAccess(const wchar_t* s, const wchar_t* t, BOOL f) { return CopyFileW(s, t, f) ? GrantUsersAccess(t) : 0; }
int GetPackageDataFolder(wchar_t*, const wchar_t*) { return 0; }
int EmptyFolder(const wchar_t*) { return 0; }
int CopyFolderTree(const wchar_t*, const wchar_t*, int) { return 0; }
void RemoveVirtualizedData() {}
unsigned GetFolderSizeKB(const RUNSTATE*, const wchar_t*) { return 0; }
