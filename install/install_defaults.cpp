// Registered names and the default installation folder.
#include "install/install_defaults.h"

#include <windows.h>
#include <shlobj.h>

#include "run/install_folder.h"
#include "run/run_state.h"
#include "support/bounded_text.h"
#include "support/path.h"
#include "run/registry_layout.h"

void ReadRegisteredNames(wchar_t* userName, wchar_t* companyName) {
    constexpr unsigned long kBytes = (kRegisteredNameChars - 1) * sizeof(wchar_t);
    if (!userName[0]) ReadRegisteredName(kRegisteredOwnerValue, userName, kRegisteredNameChars, kBytes);
    if (!companyName[0]) ReadRegisteredName(kRegisteredOrganizationValue, companyName, kRegisteredNameChars, kBytes);
}

bool DefaultInstallFolder(wchar_t* folder, const wchar_t* packageName) {
    wchar_t programs[MAX_PATH];
    // With the folder created on demand the shell answers S_OK or fails; it never says S_FALSE.
    if (!GetShellFolder(CSIDL_PROGRAM_FILES | CSIDL_FLAG_CREATE, programs)) return false;
    JoinPath(folder, kPathChars, programs, packageName, L"\\");
    return true;
}

bool RecordedInstallFolder(const wchar_t* packageName, wchar_t (&folder)[kPathChars]) {
    wchar_t recorded[kPathChars];
    folder[0] = 0;
    return IsPlainPackageName(packageName) && ReadInstallPath(packageName, recorded) &&
           CheckInstallFolder(recorded, folder) == FolderVerdict::kUsable;
}
