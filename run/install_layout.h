// Every place an install of a package writes, named once: the files of the installation
// folder, the links, the keyboard-layout keys, the vendor key and the uninstall entry (see
// run/registry_layout.h), the package data folder, the journal's folders and the copies staged
// for a restart; and InstallPlaces, the list of them for one package.
#pragma once
#include <string>

#include "run/registry_layout.h"
#include "run/run_state.h"

// The work folder "<temp>__SRIMEInstall\" that every run starts in, and the working copy that
// the program restarts as.
constexpr wchar_t kWorkFolderName[] = L"__SRIMEInstall\\";
constexpr wchar_t kWorkingCopyFile[] = L"___temp.exe";
// In the work folder: the working copy's copy that is split, the payload cut from it, and the
// folder it unpacks into.
constexpr wchar_t kSplitCopyFile[] = L"srinstallbaseexe.tmp";
constexpr wchar_t kPayloadFile[] = L"srinstallbaseexe.cab";
constexpr wchar_t kPayloadFolderName[] = L"SR_INSTALL\\";

// The installation folder. The placement writes the uninstaller in lower case; the links and
// the uninstall entry name it "Unstall.exe", the same file.
constexpr wchar_t kUninstallerFile[] = L"Unstall.exe";
constexpr wchar_t kPlacedUninstallerFile[] = L"unstall.exe";
constexpr wchar_t kBackupFile[] = L"_backup_.dat";
// The backup's replacement while the old one is held, renamed over it at the next restart.
constexpr wchar_t kStagedBackupFile[] = L"_backup_.dat.temp";
constexpr wchar_t kConfigProgramFile[] = L"config.exe";
constexpr wchar_t kHelpFile[] = L"_main_.chm";
constexpr wchar_t kInterfaceModule[] = L"ITF\\Interface.dll";

// The Start-menu group "<common Programs>\<name>\" and its links: each link's name in the
// group, its target in the installation folder, and its arguments and description, which are
// formatted with the package name.
struct LinkText {
    const wchar_t* link;
    const wchar_t* target;
    const wchar_t* arguments;  // none for the help file
    const wchar_t* description;
};
// The first of them is made once more on the desktop, as "<desktop>\<name>1.系统设置.lnk".
extern const LinkText kConfigLinks[6];
extern const LinkText kUninstallerLinks[3];

// The system's keys of the keyboard layouts, the current control set's first.
constexpr wchar_t kKeyboardLayoutsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts";
constexpr wchar_t kSavedKeyboardLayoutsKey[] = L"SYSTEM\\ControlSet001\\Control\\Keyboard Layouts";
// The user's list of layouts to load, in HKEY_CURRENT_USER.
constexpr wchar_t kPreloadKey[] = L"Keyboard Layout\\Preload";

// "<all users' application data>\SoramoIMEs\<name>\", and the copies that file virtualisation
// makes of it below the Internet cache.
constexpr wchar_t kDataFolderParent[] = L"SoramoIMEs";
// "<all users' application data>\SRIMEJournal.<name>.<process id>.<16 random hex digits>\",
// holding "journal.txt".
constexpr wchar_t kJournalFolderPrefix[] = L"SRIMEJournal.";
constexpr wchar_t kJournalFile[] = L"journal.txt";
// Copies that wait for the next restart in the temporary folder: "srs<hex>.tmp".
constexpr wchar_t kStagedFilePrefix[] = L"srs";
// Beside their target: a file's new bytes before they are moved over it (ReplaceFileWhole),
// and an undo's copy of a held file's old bytes, waiting for the restart.
constexpr wchar_t kReplacementPrefix[] = L"srn";
constexpr wchar_t kUndoCopyPrefix[] = L"srj";

// "<folder><name>\" and "<folder><name>1.系统设置.lnk" for a shell folder (with or without its
// backslash) into out (kPathChars units).
void GroupFolderOf(wchar_t* out, const wchar_t* programs, const wchar_t* packageName);
void DesktopLinkOf(wchar_t* out, const wchar_t* desktop, const wchar_t* packageName);

// Where an install of one package writes. The folders are as their lookups give them: the
// installation, data, group and temporary folders with a trailing backslash, the shell's and
// the system folder without; compare them by whole steps (IsInFolder).
struct InstallPlaces {
    std::wstring installFolder, system, windows, fonts, data, group, desktopLink, temp;
    std::wstring vendorKey, entryKey, imeFile;
};

// The places of packageName installed into installFolder; false when that folder is none an
// install may use (CheckInstallFolder) or the name no plain package name. A folder the system
// does not name stays empty.
bool GetInstallPlaces(const wchar_t* packageName, const wchar_t* installFolder, InstallPlaces& places);
