// Parsing the unattended switches.
#include "app/unattended.h"

#include <cwchar>
#include <string>

#include "run/install_folder.h"
#include "app/startup.h"
#include "support/bounded_text.h"

namespace {

// The next blank-separated token, its quotes removed; false at the end. An opening quote
// without its closing one marks the switches malformed.
bool NextToken(const wchar_t*& p, std::wstring& token, bool& malformed) {
    while (*p == L' ' || *p == L'\t') ++p;
    if (!*p) return false;
    token.clear();
    bool quoted = false;
    for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p) {
        if (*p == L'"') quoted = !quoted;
        else token.push_back(*p);
    }
    if (quoted) malformed = true;
    return true;
}

// "/NAME=value": true when token is that switch; value receives what follows "=".
bool IsValued(const std::wstring& token, const wchar_t* name, std::wstring& value) {
    const size_t length = wcslen(name);
    if (token.size() < length || _wcsnicmp(token.c_str(), name, length) != 0) return false;
    value = token.substr(length);
    return true;
}

// A switch without its value is malformed.
void Take(const std::wstring& value, wchar_t* field, size_t count, bool& malformed) {
    if (value.empty()) malformed = true;
    CopyCut(field, count, value.c_str());
}

}  // namespace

void ParseUnattendedSwitches(const wchar_t* arguments, UNATTENDED& switches, const wchar_t* startingFolder) {
    switches = UNATTENDED{};
    // The relaunch appends " file=<path>"; that part is the started path, not switches.
    std::wstring own(arguments);
    const size_t file = own.find(L"file=");
    if (file != std::wstring::npos) own.resize(file);

    const wchar_t* p = own.c_str();
    std::wstring token, value;
    while (NextToken(p, token, switches.malformed)) {
        if (_wcsicmp(token.c_str(), L"/S") == 0) {
            switches.silent = true;
        } else if (_wcsicmp(token.c_str(), L"/FORCECLOSE") == 0) {
            switches.forceClose = true;
        } else if (IsValued(token, L"/D=", value)) {
            if (!value.empty() && value.back() != L'\\') value.push_back(L'\\');
            Take(value, switches.folder, kPathChars, switches.malformed);
            // The rule the destination page keeps: a relative folder would depend on the
            // current folder, and one that the uninstall would refuse to remove is no target.
            wchar_t usable[kPathChars];
            if (!value.empty() && CheckInstallFolder(switches.folder, usable) != FolderVerdict::kUsable) {
                switches.malformed = true;
            }
        } else if (IsValued(token, L"/USER=", value)) {
            Take(value, switches.userName, 128, switches.malformed);
        } else if (IsValued(token, L"/COMPANY=", value)) {
            Take(value, switches.companyName, 128, switches.malformed);
        } else if (IsValued(token, L"/LOG=", value)) {
            Take(value, switches.logPath, kPathChars, switches.malformed);
            // Relative to where the user started the installer, not to the system folder.
            if (!value.empty()) FullPathFromStartingFolder(startingFolder, value.c_str(), switches.logPath);
        } else if (_wcsicmp(token.c_str(), L"/D") == 0 || _wcsicmp(token.c_str(), L"/LOG") == 0 ||
                   _wcsicmp(token.c_str(), L"/USER") == 0 || _wcsicmp(token.c_str(), L"/COMPANY") == 0) {
            switches.malformed = true;  // a valued switch without "="
        }
    }
}
