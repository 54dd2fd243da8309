// The update list: its record, where it lies on the update server, and the tags of its lines.
#pragma once
#include <windows.h>

#include <cstdint>

#include "update/version_info.h"

// One component of the update list, or one selected for the installed package.
struct UPDATEITEM {
    int32_t type;                   // ComponentType
    wchar_t name[40];
    VersionNumber installedVersion;  // of the installed file; 0 in list records
    VersionNumber offeredVersion;    // the list's VERSION
    wchar_t targetPath[260];        // SAVEPATH in list records; the installed file once selected
    wchar_t cabinetUrl[128];        // CABURL
};
static_assert(sizeof(UPDATEITEM) == 880, "an update record has a fixed size");

// The path of the list on the update server.
constexpr wchar_t kUpdateListPath[] = L"/_supports/srime_drives/UpdateList.txt";
// A list is a few hundred bytes a component; a larger one is refused before it is read.
constexpr DWORD kMaxUpdateListBytes = 4u << 20;

// Reads the first <KEY=VALUE> tag of text: key (128 units) and value (512 units), cut to fit; a
// tag without "=" has the value "auto". Returns the units up to and including ">", 0 for none.
int ScanTag(const wchar_t* text, wchar_t* key, wchar_t* value);
