#include "run/registry_layout.h"

#include <windows.h>

#include <vector>

#include "framework/handles.h"
#include "run/run_state.h"
#include "support/bounded_text.h"

namespace {

// Reads "SMEInstallPath" into path (any value type); false leaves path empty.
bool ReadHiveInstallPath(HKEY root, const wchar_t* key, wchar_t* path) {
    fw::RegKey vendor;
    if (!vendor.Open(root, key, KEY_READ)) return false;
    DWORD bytes = kPathChars * sizeof(wchar_t);
    if (RegQueryValueExW(vendor.Get(), kInstallPathValue, nullptr, nullptr, reinterpret_cast<BYTE*>(path),
                         &bytes) != ERROR_SUCCESS) {
        path[0] = 0;
        return false;
    }
    path[kPathChars - 1] = 0;  // a value of the full 520 bytes has no room for its terminator
    return true;
}

}  // namespace

bool ReadInstallPath(const wchar_t* packageName, wchar_t* path) {
    wchar_t key[80];
    VendorKeyOf(packageName, key, 80);
    if (ReadHiveInstallPath(HKEY_CURRENT_USER, key, path) && path[0]) return true;
    return ReadHiveInstallPath(HKEY_LOCAL_MACHINE, key, path);
}

void VendorKeyOf(const wchar_t* packageName, wchar_t* key, size_t count) {
    FormatCut(key, count, L"%s\\%s", kVendorKey, packageName);
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
