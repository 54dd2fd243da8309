// The configuration catalogue "config.dsc" of an installed package, as far as the update
// engine reads it. The file is written outside this program.
#pragma once
#include <windows.h>

#include <cstddef>

// Byte 0: the number of entries; byte 4 + 4 * i: the offset of entry i from the file's start.
constexpr DWORD kCatalogueOffsets = 4;

struct CATALOGUEENTRY {
    BYTE unread[6];
    wchar_t name[627];          // zero-terminated
    wchar_t tableDriver[120];   // code-table driver, zero-terminated
    wchar_t imeDriver[44];      // zero-terminated
    wchar_t skinDriver[40];     // zero-terminated
};
static_assert(offsetof(CATALOGUEENTRY, name) == 6, "entry name at 6");
static_assert(offsetof(CATALOGUEENTRY, tableDriver) == 1260, "code-table driver at 1260");
static_assert(offsetof(CATALOGUEENTRY, imeDriver) == 1500, "IME driver at 1500");
static_assert(offsetof(CATALOGUEENTRY, skinDriver) == 1588, "skin driver at 1588");
static_assert(sizeof(CATALOGUEENTRY) == 1668, "an entry as far as it is read");

// The entry that names the package's drivers.
constexpr wchar_t kDefaultCatalogueEntry[] = L"sr_ime_config_data_default";
