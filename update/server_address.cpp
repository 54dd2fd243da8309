// The update server's address: the registry value and its check, and the built-in address.
#include "update/server_address.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

#include "framework/handles.h"
#include "run/registry_layout.h"
#include "support/bounded_text.h"

#ifndef SR_UPDATE_SERVER
#define SR_UPDATE_SERVER L"https://update.vexal.example"
#endif

namespace {

// The server part of an address: "http://" or "https://", a host, an optional ":port", and
// nothing after it but an optional "/".
bool IsServerAddress(const wchar_t* text) {
    const wchar_t* host = nullptr;
    if (_wcsnicmp(text, L"http://", 7) == 0) host = text + 7;
    if (_wcsnicmp(text, L"https://", 8) == 0) host = text + 8;
    if (!host) return false;
    const wchar_t* at = host;
    while (*at && (iswalnum(*at) || *at == L'.' || *at == L'-')) ++at;
    if (at == host) return false;
    if (*at == L':') {
        const wchar_t* digits = ++at;
        while (iswdigit(*at)) ++at;
        if (at == digits || at - digits > 5) return false;
    }
    return *at == 0 || (at[0] == L'/' && at[1] == 0);
}

bool ReadServerValue(HKEY root, const wchar_t* key, wchar_t* out, size_t count) {
    fw::RegKey vendor;
    if (!vendor.Open(root, key, KEY_READ)) return false;
    wchar_t value[128] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(vendor.Get(), kUpdateServerValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) !=
            ERROR_SUCCESS || type != REG_SZ || !IsServerAddress(value)) {
        return false;
    }
    const size_t length = wcslen(value);
    if (value[length - 1] == L'/') value[length - 1] = 0;
    CopyCut(out, count, value);
    return true;
}

}  // namespace

void GetUpdateServer(const wchar_t* packageName, wchar_t* server, size_t count) {
    wchar_t key[128];
    VendorKeyOf(packageName, key, 128);
    // The machine's value alone: any process of the user can write the user's own, and the
    // server chooses what the elevated updater installs.
    if (ReadServerValue(HKEY_LOCAL_MACHINE, key, server, count)) return;
    CopyCut(server, count, SR_UPDATE_SERVER);
}
