// The loopback update server of the tests (tests/update/update_server.py, started by ctest) and
// the files an installed package keeps for the update.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "run/folders.h"
#include "tests/harness/test_folder.h"
#include "update/catalogue.h"
#include "update/update_engine.h"

namespace test {

// The folder the server serves, beside the test program (bin/update_server/).
inline std::wstring ServerRoot() { return ProgramBeside(L"update_server\\"); }

inline std::wstring ServerAddress(int port) { return L"http://127.0.0.1:" + std::to_wstring(port); }

// Puts a file where the server serves it as `path` ("/a/b.cab").
inline void Publish(const std::wstring& path, const std::string& bytes) {
    std::wstring file = ServerRoot() + path.substr(1);
    for (wchar_t& c : file) c = c == L'/' ? L'\\' : c;
    for (size_t at = ServerRoot().size(); (at = file.find(L'\\', at)) != std::wstring::npos; ++at) {
        CreateDirectoryW(file.substr(0, at).c_str(), nullptr);
    }
    WriteBytes(file, bytes);
}

inline void PublishUpdateList(const std::wstring& text) { Publish(kUpdateListPath, "\xEF\xBB\xBF" + Utf8(text)); }

// The body of a path on the server; "(failed)" when it cannot be had.
inline std::string Fetch(int port, const wchar_t* path) {
    TestFolder folder;
    ZERAVIzider engine;
    const std::wstring file = folder / L"fetched";
    if (!engine.DownloadFile((ServerAddress(port) + path).c_str(), file.c_str())) return "(failed)";
    return ReadBytes(file);
}

// The paths the server was asked for since the last call, one a line.
inline std::string TakeRequests(int port) {
    const std::string requests = Fetch(port, L"/_requests");
    Fetch(port, L"/_reset");
    return requests;
}

struct CatalogueNames {
    std::wstring entry, ime, table, skin;
};

inline std::string CatalogueBytes(const std::vector<CatalogueNames>& entries) {
    const DWORD first = kCatalogueOffsets + 4 * static_cast<DWORD>(entries.size());
    std::string bytes(first + entries.size() * sizeof(CATALOGUEENTRY), '\0');
    bytes[0] = static_cast<char>(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const DWORD offset = first + static_cast<DWORD>(i * sizeof(CATALOGUEENTRY));
        memcpy(&bytes[kCatalogueOffsets + 4 * i], &offset, 4);
        CATALOGUEENTRY entry = {};
        wcsncpy(entry.name, entries[i].entry.c_str(), 626);
        wcsncpy(entry.imeDriver, entries[i].ime.c_str(), 43);
        wcsncpy(entry.tableDriver, entries[i].table.c_str(), 119);
        wcsncpy(entry.skinDriver, entries[i].skin.c_str(), 39);
        memcpy(&bytes[offset], &entry, sizeof entry);
    }
    return bytes;
}

// "config.dsc" in the package's data folder, with the default entry second.
inline void WriteCatalogue(const wchar_t* package, const std::wstring& ime, const std::wstring& table,
                           const std::wstring& skin) {
    wchar_t folder[MAX_PATH];
    GetPackageDataFolder(folder, package);
    CreateDirectoryW(std::wstring(folder).substr(0, wcslen(folder) - 1 - wcslen(package)).c_str(), nullptr);
    CreateDirectoryW(folder, nullptr);
    WriteBytes(std::wstring(folder) + L"config.dsc",
               CatalogueBytes({{L"other", L"x", L"y", L"z"}, {L"SR_IME_CONFIG_DATA_DEFAULT", ime, table, skin}}));
}

}  // namespace test
