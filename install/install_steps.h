// The steps of the install sequence and their uninstall counterparts.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "install/install_context.h"

// Step 1: empties the payload folder into the system, Windows, Fonts, package data and
// installation folders, and places the uninstaller. 0 when a file could be neither placed nor
// left to be replaced at the next restart.
int PlaceFiles(InstallContext& context);
// Copies the .ttf and .ttc files of one folder into the Fonts folder and registers them;
// 0 when the Fonts folder cannot be determined.
int InstallFonts(const wchar_t* fontSource, ChangeRecorder& recorder = NoRecorder());

// Step 2: "SMEInstallPath" under the vendor key of both hives; the last registry status.
int WriteInstallPath(InstallContext& context);
// Step 2: the module copied into the system folder as "%s(1).ime" and registered.
int RegisterIme(InstallContext& context);
// Every loaded keyboard layout whose IME file is imeFileName (any case), in list order.
std::vector<HKL> FindImeLayouts(const wchar_t* imeFileName);
// A layout's handle as the "%X" text that names its key. Windows names the keys in upper case,
// Wine 8 in lower case ("e0020409"): every comparison with this text ignores case.
std::wstring LayoutHex(HKL layout);
// Every layout registered in the system's layout keys whose IME file is imeFileName (any case),
// as its handle's "%X" text. Read from the registry alone, without the window system: an
// unattended install may run where there is no desktop of a user's (and under Wine the
// first call into the window system starts one).
std::vector<std::wstring> RegisteredImeLayouts(const wchar_t* imeFileName);
// The Preload value, the layout keys of both control sets and the layout itself.
void RemoveImeLayout(HKL layout);
// The first of them, or null.
HKL FindImeLayout(const wchar_t* imeFileName);
// Uninstall: the registry traces of every layout of the module, the layouts and the system
// IME file. The context's package record is the INSTALLEDPACKAGE. 1 when a layout was found.
int RemoveIme(InstallContext& context);

// Step 3: the sixteen values of the uninstall entry. 0 when the entry or a value of it could
// not be written.
int WriteUninstallEntry(const wchar_t* userName, const wchar_t* companyName, InstallContext& context);

// Step 4: "_backup_.dat" in the installation folder, a copy of the payload file. Returns 1.
int BackupPayload(InstallContext& context);

// Step 5: the shortcut group with its nine links, the desktop link, the file to open (only when
// a user watches: never in an unattended run). 0 when a link could not be made.
int CreateShortcuts(InstallContext& context);
// Uninstall: the desktop link and the group's nine links, then the group if it is empty.
void RemoveShortcuts(const wchar_t* packageName);
// One shell link; 0 when COM or the link object cannot be had or the link cannot be saved.
int CreateShortcut(const wchar_t* target, const wchar_t* description, const wchar_t* linkPath,
                   const wchar_t* workingFolder, const wchar_t* arguments);
