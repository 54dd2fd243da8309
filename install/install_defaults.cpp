// Registered names and the default installation folder.
#include "install/install_defaults.h"

#include <windows.h>
#include <shlobj.h>

#include "app/folders.h"
#include "app/run_state.h"
#include "app/startup.h"
#include "framework/handles.h"
#include "support/bounded_text.h"

namespace {

void ReadIfEmpty(HKEY key, const wchar_t* value, wchar_t* field) {
    if (field[0]) return;
    wchar_t text[kRegisteredNameChars] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);  // room for the terminator
    if (RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes) == ERROR_SUCCESS) {
        CopyCut(field, kRegisteredNameChars, text);
    }
}

}  // namespace

void ReadRegisteredNames(wchar_t* userName, wchar_t* companyName) {
    fw::RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", KEY_READ)) return;
    ReadIfEmpty(key.Get(), L"RegisteredOwner", userName);
    ReadIfEmpty(key.Get(), L"RegisteredOrganization", companyName);
}

bool DefaultInstallFolder(wchar_t* folder, const wchar_t* packageName) {
    wchar_t programs[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                programs))) {
        return false;
    }
    const size_t length = wcslen(programs);
    FormatCut(folder, kPathChars, length && programs[length - 1] == L'\\' ? L"%s%s\\" : L"%s\\%s\\", programs,
              packageName);
    return true;
}

bool RecordedInstallFolder(const wchar_t* packageName, wchar_t (&folder)[kPathChars]) {
    wchar_t recorded[kPathChars];
    folder[0] = 0;
    return IsPlainPackageName(packageName) && ReadInstallPath(packageName, recorded) &&
           CheckInstallFolder(recorded, folder) == FolderVerdict::kUsable;
}
