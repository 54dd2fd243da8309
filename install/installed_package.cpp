// Checks on the installed-package record before an uninstall or repair acts on it.
#include "install/installed_package.h"

#include <windows.h>

#include "run/install_folder.h"
#include "run/install_layout.h"
#include "support/path.h"

bool InstalledFolder(const INSTALLEDPACKAGE& package, wchar_t (&out)[kPathChars]) {
    if (CheckInstallFolder(package.installPath, out) != FolderVerdict::kUsable) return false;
    // What the install leaves in every installation folder: a folder without it was never one.
    wchar_t uninstaller[kPathChars];
    if (JoinPath(uninstaller, out, kUninstallerFile) < kPathChars - 1) {
        const DWORD attributes = GetFileAttributesW(uninstaller);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    }
    out[0] = 0;
    return false;
}
