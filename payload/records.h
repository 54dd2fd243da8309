// The installation records: the package configuration record ("InstallInfo.dif", written by
// the generator and read by the installer) and the installed-package record of a later run.
#pragma once
#include <cstddef>
#include <cstdint>

// The package configuration record's file: in the payload, and loose in an installation
// folder that an older version left it in.
constexpr wchar_t kPackageRecordFile[] = L"InstallInfo.dif";

constexpr int kNameChars = 40;  // package names, at most 39 characters
// "<name>(1).ime": the system IME file's name, which the guard looks for as the module's key.
constexpr int kModuleKeyChars = kNameChars + 7;

// Every text is UTF-16LE and zero-terminated inside its field.
struct PACKAGECONFIG {
    wchar_t name[kNameChars];  // package name, at most 39 characters
    wchar_t layoutText[44];   // the text given to the system for the keyboard layout
    uint32_t reserved;
    wchar_t comments[20];
    wchar_t publisher[40];
    wchar_t version[40];
    wchar_t contact[40];
    wchar_t homePage[128];
    wchar_t helpPhone[40];
    wchar_t openFile[260];    // relative to the installation folder; empty means none
};
static_assert(sizeof(wchar_t) == 2, "the record is UTF-16");
static_assert(offsetof(PACKAGECONFIG, name) == 0, "layout of InstallInfo.dif");
static_assert(offsetof(PACKAGECONFIG, layoutText) == 80, "layout of InstallInfo.dif");
static_assert(offsetof(PACKAGECONFIG, reserved) == 168, "layout of InstallInfo.dif");
static_assert(offsetof(PACKAGECONFIG, comments) == 172, "layout of InstallInfo.dif");
static_assert(offsetof(PACKAGECONFIG, publisher) == 212, "layout of InstallInfo.dif");
static_assert(offsetof(PACKAGECONFIG, version) == 292, "layout of InstallInfo.dif");
static_assert(offsetof(PACKAGECONFIG, contact) == 372, "layout of InstallInfo.dif");
static_assert(offsetof(PACKAGECONFIG, homePage) == 452, "layout of InstallInfo.dif");
static_assert(offsetof(PACKAGECONFIG, helpPhone) == 708, "layout of InstallInfo.dif");
static_assert(offsetof(PACKAGECONFIG, openFile) == 788, "layout of InstallInfo.dif");
static_assert(sizeof(PACKAGECONFIG) == 1308, "layout of InstallInfo.dif");

// What an uninstall, repair or update run knows of the installed package.
struct INSTALLEDPACKAGE {
    wchar_t installPath[260];         // with its trailing backslash, from "SMEInstallPath"
    wchar_t packageName[kNameChars];  // from the command line, at most 39 characters
};

// The one rule for a package name, which names folders, registry keys, links and the module:
// 1 to 39 characters that make one plain file name (no "\", "/", ":", wildcards or control
// characters, not "." or "..", no trailing dot or blank, no device name such as CON or
// COM1.txt). Anything else could name a parent (an empty name: every package's data, the whole
// uninstall list), another package's folder or a device.
bool IsPlainPackageName(const wchar_t* name);

// Whether the file-to-open field names a file inside the installation folder: empty (none),
// or a relative path whose every step is a plain name (no "..", no drive, no root).
bool IsInstallRelativePath(const wchar_t* path);

// "<name>(1).ime" into key; false (key empty) when name is no plain package name.
bool FormatModuleKey(wchar_t (&key)[kModuleKeyChars], const wchar_t* packageName);

// Copies the first 1308 bytes of an "InstallInfo.dif" into record and cuts every text at the
// last unit of its field. 0 when the file is missing or cannot be mapped (an empty file among
// them), and when the record breaks the rules above: the package counts as damaged and the
// record is left zero.
int LoadPackageConfig(const wchar_t* path, PACKAGECONFIG& record);
