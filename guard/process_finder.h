// The processes that have the input method's module loaded, and ending them.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "payload/records.h"

struct ProcessEntry {
    wchar_t name[100];  // base name of the executable, empty when it cannot be read
    DWORD processId;
};

class ProcessFinder {
public:
    // Takes the module key (cut to the kModuleKeyChars of "<name>(1).ime"), lists the holders
    // anew; their count.
    int CheckLoaded(const wchar_t* key);
    // Appends every process (this one excepted) holding the key; false when the system's
    // process list cannot be had.
    bool EnumHolders();
    // Whether the full path of one of the process's first 1024 modules ends with key (any case).
    static bool HoldsModule(const wchar_t* key, DWORD processId);
    // Ends every listed process, lists the holders anew; the count that remains.
    int EndAllHolders();

    const std::vector<ProcessEntry>& Entries() const { return m_entries; }
    const wchar_t* Key() const { return m_key; }

private:
    wchar_t m_key[kModuleKeyChars] = {};
    std::vector<ProcessEntry> m_entries;
};

// The list-box line of a holder: Chinese labels when the dialog opens, English ones after a refresh.
std::wstring HolderLine(const ProcessEntry& entry, bool english);
