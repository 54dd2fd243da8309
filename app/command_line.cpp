// The command line: "file=" and the three switches, each running to the end of the text
// and cut at its last "]"; then the install path from the machine's vendor key.
#include <windows.h>

#include <cwchar>

#include "app/startup.h"
#include "framework/handles.h"
#include "support/bounded_text.h"

namespace {

void CutAtLastBracket(wchar_t* text) {
    if (wchar_t* bracket = wcsrchr(text, L']')) *bracket = 0;
}

// The first of the four spellings found (in this order, not by position) gives the name. It is
// read one character beyond the longest name, so that a longer one shows as a text without its
// "]" and is refused rather than cut to the name of another package. A name that is no plain
// package name leaves the name empty: nothing is read or deleted by it.
bool TakeSwitch(const wchar_t* line, wchar_t letter, wchar_t* name) {
    const wchar_t upper = towupper(letter);
    const wchar_t spellings[4][10] = {
        {L'-', letter}, {L'-', upper}, {L'/', letter}, {L'/', upper}};
    for (const wchar_t* s : spellings) {
        wchar_t pattern[16];
        FormatCut(pattern, 16, L"%s name=[", s);
        if (const wchar_t* found = wcsstr(line, pattern)) {
            wchar_t given[kNameChars + 1];
            CopyCut(given, found + wcslen(pattern));
            if (!wcschr(given, L']') && wcslen(given) == kNameChars) given[0] = 0;
            CutAtLastBracket(given);
            CopyCut(name, kNameChars, IsPlainPackageName(given) ? given : L"");
            return true;
        }
    }
    return false;
}

}  // namespace

bool ReadInstallPath(const wchar_t* packageName, wchar_t* path) {
    path[0] = 0;
    wchar_t key[80];
    FormatCut(key, 80, L"Software\\vexal\\%s", packageName);
    // Only the machine's value: the install writes the user's too, but any process of the user
    // can change that one, and the folder named here is emptied by an elevated uninstall.
    fw::RegKey vendor;
    if (!vendor.Open(HKEY_LOCAL_MACHINE, key, KEY_READ)) return false;
    DWORD bytes = (kPathChars - 1) * sizeof(wchar_t);  // any value type; the last unit ends it
    if (RegQueryValueExW(vendor.Get(), L"SMEInstallPath", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &bytes) !=
        ERROR_SUCCESS) {
        path[0] = 0;
        return false;
    }
    path[bytes / sizeof(wchar_t)] = 0;
    return true;
}

void ParseCommandLine(RUNSTATE& state, INSTALLEDPACKAGE& package) {
    const wchar_t* line = state.commandLine;
    if (const wchar_t* file = wcsstr(line, L"file=")) {
        CopyCut(state.startedPath, file + 5);
        CutAtLastBracket(state.startedPath);
    }

    // All three always run, so the last one found wins: update over repair over uninstall.
    state.mode = kModeInstall;
    if (TakeSwitch(line, L'u', package.packageName)) state.mode = kModeUninstall;
    if (TakeSwitch(line, L'r', package.packageName)) state.mode = kModeRepair;
    if (TakeSwitch(line, L'g', package.packageName)) state.mode = kModeUpdate;

    // Install mode reads the vendor key's own value (its name is empty); the other modes only
    // that of a package they may name.
    if (state.mode == kModeInstall || package.packageName[0]) {
        ReadInstallPath(package.packageName, package.installPath);
    }
}

void ParseCommandLine() { ParseCommandLine(*g_runState, *g_installedPackage); }
