// Step 1 of the install: the payload folder emptied into the system, Windows, Fonts, package
// data and installation folders, the fonts registered, and the uninstaller put in place.
#include "install/install_steps.h"

#include <shlobj.h>

#include <cwchar>

#include "framework/handles.h"
#include "run/access.h"
#include "run/file_placement.h"
#include "run/folders.h"
#include "run/install_layout.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

bool IsFolder(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Moves what a placement folder holds into its destination, then removes what is left of it;
// 0 when a file could be neither placed nor staged for the next restart.
int Drain(const wchar_t* folder, const wchar_t* destination, const TreeCopyOptions& options) {
    const int complete = CopyFolderTree(folder, destination, 0, options);
    RemoveFolder(folder);
    return complete;
}

// The font test is a case-sensitive search anywhere in the name, so "a.TTF" stays out and
// "a.ttf.old" goes in.
bool IsFontName(const wchar_t* name) { return wcsstr(name, L".ttf") || wcsstr(name, L".ttc"); }

}  // namespace

int PlaceFiles(InstallContext& context) {
    const wchar_t* payload = context.runState.payloadFolder;
    // Only the package data folder, where the input method keeps what every user writes, is
    // opened to "Users". Every process loads code from the system and Windows folders, and the
    // installation folder holds the uninstaller, the backup that a repair installs and the
    // drivers: write access there for any user would let them run code elevated.
    const TreeCopyOptions closed{false, &context.restartNeeded, context.journal};
    const TreeCopyOptions open{true, &context.restartNeeded, context.journal};
    wchar_t folder[kPathChars], destination[kPathChars];
    int complete = 1;

    JoinPath(folder, payload, L"$system32$\\");
    // By its name on disk: a file in use is replaced at the next restart, whose rename list is
    // carried out by 64-bit code that would take "System32" for the 64-bit folder.
    if (IsFolder(folder) && GetSystemFolderOnDisk(destination)) complete &= Drain(folder, destination, closed);

    JoinPath(folder, payload, L"$windows$\\");
    if (IsFolder(folder) && GetWindowsDirectoryW(destination, kPathChars)) {
        complete &= Drain(folder, destination, closed);
    }

    // The fonts are copied, not moved; removing the folder takes the sources.
    JoinPath(folder, payload, L"$fonts$\\");
    if (IsFolder(folder)) {
        InstallFonts(folder, *context.journal);
        RemoveFolder(folder);
    }

    // Without a package data folder the data files travel into the installation folder.
    JoinPath(folder, payload, L"$dataFiles$\\");
    if (IsFolder(folder) && GetPackageDataFolder(destination, PackageOf(context).name)) {
        complete &= Drain(folder, destination, open);
    }

    // Its access list is set before anything goes in, so that no user may change what does.
    if (!CreateFolderPath(context.installFolder, closed) || !ProtectInstallationFolder(context.installFolder)) return 0;
    complete &= CopyFolderTree(payload, context.installFolder, 0, closed);

    JoinPath(destination, context.installFolder, kPlacedUninstallerFile);
    // A repair has no bare program of its own: it runs from a copy of the installed one.
    if (context.runState.bareProgram[0]) complete &= PlaceFile(context.runState.bareProgram, destination, closed);
    return complete;
}

int InstallFonts(const wchar_t* fontSource, ChangeRecorder& recorder) {
    wchar_t fonts[MAX_PATH];
    if (!GetShellFolder(CSIDL_FONTS | CSIDL_FLAG_CREATE, fonts)) return 0;

    wchar_t pattern[kPathChars];
    JoinPath(pattern, fontSource, L"*");
    WIN32_FIND_DATAW found;
    fw::FindHandle search(FindFirstFileW(pattern, &found));
    // The first entry is the folder's own; fonts are not replaced at a restart, a font
    // that cannot be copied now is left out.
    while (search.Valid() && FindNextFileW(search.Get(), &found)) {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsFontName(found.cFileName)) continue;
        wchar_t source[kPathChars], target[kPathChars];
        JoinPath(source, fontSource, found.cFileName);
        JoinPath(target, fonts, found.cFileName);
        // A font that is held cannot be copied now and is left out, as is one the journal
        // could not record.
        if (!MayWriteFile(recorder, target)) continue;
        if (CopyFileW(source, target, FALSE) && AddFontResourceW(target)) recorder.FontAdded(target);
    }
    SendMessageW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
    return 1;
}
