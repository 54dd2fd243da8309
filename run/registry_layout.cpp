#include "run/registry_layout.h"

#include <windows.h>

#include <vector>

#include "framework/handles.h"
#include "run/run_state.h"
#include "support/bounded_text.h"
#include "support/path.h"

bool ReadInstallPath(const wchar_t* packageName, wchar_t* path) {
    path[0] = 0;
    wchar_t key[80];
    VendorKeyOf(packageName, key, 80);
    // Only the machine's value: the install writes the user's too, but any process of the user
    // can change that one, and the folder named here is emptied by an elevated uninstall.
    fw::RegKey vendor;
    if (!vendor.Open(HKEY_LOCAL_MACHINE, key, KEY_READ)) return false;
    DWORD bytes = (kPathChars - 1) * sizeof(wchar_t);  // any value type; the last unit ends it
    if (RegQueryValueExW(vendor.Get(), kInstallPathValue, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &bytes) !=
        ERROR_SUCCESS) {
        path[0] = 0;
        return false;
    }
    path[bytes / sizeof(wchar_t)] = 0;
    return true;
}

void VendorKeyOf(const wchar_t* packageName, wchar_t* key, size_t count) {
    JoinPath(key, count, kVendorKey, packageName);
}

bool ReadRegisteredName(const wchar_t* value, wchar_t* field, size_t count, unsigned long maxBytes) {
    fw::RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kWindowsVersionKey, KEY_READ)) return false;
    // One unit more than the budget, so that a value of exactly maxBytes keeps its terminator.
    std::vector<wchar_t> text(maxBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = maxBytes;
    if (RegQueryValueExW(key.Get(), value, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
        ERROR_SUCCESS) {
        return false;
    }
    CopyCut(field, count, text.data());
    return true;
}
