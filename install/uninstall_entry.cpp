// Step 3 of the install: the package's entry in the system's list of installed programs.
#include "install/install_steps.h"

#include <cwchar>

#include "framework/handles.h"
#include "run/folders.h"
#include "run/install_layout.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

// Counted without the terminator, as every string this installer writes.
int SetString(HKEY key, const wchar_t* name, const wchar_t* value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>(wcslen(value) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The installer that the user started: the text after "file=", which the command line is
// cut to in place at the first "]" after it; without "file=" the running program.
const wchar_t* InstallSource(RUNSTATE& state) {
    wchar_t* file = wcsstr(state.commandLine, L"file=");
    if (!file) return state.ownPath;
    file += 5;
    if (wchar_t* bracket = wcschr(file, L']')) *bracket = 0;
    return file;
}

}  // namespace

int WriteUninstallEntry(const wchar_t* userName, const wchar_t* companyName, InstallContext& context) {
    // Without administrative rights nothing opens.
    fw::RegKey uninstall, entry;
    if (!uninstall.Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_ALL_ACCESS)) return 0;
    const PACKAGECONFIG& package = PackageOf(context);
    wchar_t name[kNameChars];
    FormatCut(name, kNameChars, L"%s", package.name);
    wchar_t entryKey[kPathChars];
    JoinPath(entryKey, kUninstallKey, name);
    ChangeRecorder& recorder = *context.journal;
    if (!recorder.BeforeKeyCreate(HKEY_LOCAL_MACHINE, entryKey)) return 0;
    if (!entry.Create(uninstall.Get(), name, KEY_ALL_ACCESS)) return 0;

    const wchar_t* folder = context.installFolder;
    // By its name on disk: the list of installed programs is read by 64-bit programs too.
    wchar_t system[kPathChars] = {};
    if (!GetSystemFolderOnDisk(system)) system[0] = 0;
    // The module's own name, not the "%s(1).ime" that the registration puts there.
    wchar_t icon[kPathChars], about[kPathChars], updates[kPathChars], help[kPathChars];
    wchar_t uninstallCommand[kPathChars], modify[kPathChars], quiet[kPathChars];
    JoinPath(icon, system, name, L".ime");
    FormatCut(about, kPathChars, L"%s?id=1", package.homePage);
    FormatCut(updates, kPathChars, L"%s?id=2", package.homePage);
    JoinPath(help, folder, kHelpFile);
    // The program's path quoted: the system runs these as command lines, and an unquoted path
    // with blanks would first be tried as "C:\Program.exe" and the like.
    wchar_t uninstaller[kPathChars];
    JoinPath(uninstaller, folder, kUninstallerFile);
    FormatCut(uninstallCommand, kPathChars, L"\"%s\" -u name=[%s]", uninstaller, name);
    FormatCut(modify, kPathChars, L"\"%s\" -r name=[%s]", uninstaller, name);
    FormatCut(quiet, kPathChars, L"\"%s\" -u name=[%s] /S", uninstaller, name);

    const struct {
        const wchar_t* name;
        const wchar_t* text;
    } values[] = {
        {kRecordedOwnerValue, userName},
        {kRecordedCompanyValue, companyName},
        {L"DisplayName", name},
        {L"Comments", package.comments},
        {L"DisplayVersion", package.version},
        {L"DisplayIcon", icon},
        {L"Contact", package.contact},
        {L"Publisher", package.publisher},
        {L"URLInfoAbout", about},
        {L"URLUpdateInfo", updates},
        {L"HelpLink", help},
        {L"HelpTelephone", package.helpPhone},
        {L"UninstallString", uninstallCommand},
        {L"InstallLocation", folder},
        {L"InstallSource", InstallSource(context.runState)},
        {L"ModifyPath", modify},
        {L"QuietUninstallString", quiet},
    };
    int written = 1;
    for (const auto& value : values) {
        if (!recorder.BeforeValueWrite(HKEY_LOCAL_MACHINE, entryKey, value.name)) return 0;
        written &= SetString(entry.Get(), value.name, value.text);
    }
    return written;
}
