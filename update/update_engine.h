// ZERAVIzider, the update engine: the update list, the selection of the package's components
// and the update of one component.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "update/component_types.h"
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

// What the engine reports: a message (text, number 0) or the download progress (no text, the
// bytes received by every download so far). The receiver must not keep the pointer.
struct UPDATEMSG {
    const wchar_t* text;
    int32_t number;
};

using UpdateCallback = void (*)(const UPDATEMSG& notification, void* context);

// The path of the list on the update server.
constexpr wchar_t kUpdateListPath[] = L"/_supports/srime_drives/UpdateList.txt";
// A list is a few hundred bytes a component; a larger one is refused before it is read.
constexpr DWORD kMaxUpdateListBytes = 4u << 20;

class ZERAVIzider {
public:
    ZERAVIzider();

    bool InitUpdate(UpdateCallback progress, UpdateCallback message, void* context);
    // Downloads address into path; false on any failure, also on a transfer that breaks off
    // or ends short of its announced length, and on a body longer than maxBytes (0: no
    // bound); the partial file is then removed.
    bool DownloadFile(const wchar_t* address, const wchar_t* path, DWORD maxBytes = 0);
    // Finds the installed package, reads its driver names, downloads and parses the list.
    // Returns the records of the list; 0 when anything failed.
    int LoadUpdateList(const wchar_t* packageName);
    // Parses the text of an update list into the update list; returns its records.
    int ParseUpdateList(const wchar_t* text, int length);
    // Picks the list records that belong to the installed package; returns how many.
    int SelectComponents();
    void SetTargetPath(UPDATEITEM& item) const;
    bool UpdateComponent(const UPDATEITEM& item);

    // Asks a running download or run to stop at its next chunk or component.
    void RequestStop() { m_stopRequested = true; }
    void ClearStop() { m_stopRequested = false; }
    bool StopRequested() const { return m_stopRequested; }
    // How long a download waits for data before it fails.
    void SetReceiveTimeout(DWORD milliseconds) { m_receiveTimeout = milliseconds; }

    // Bytes received by all of this updater's downloads; never reset.
    uint32_t DownloadedBytes() const { return m_downloadedBytes.load(); }

    const std::vector<UPDATEITEM>& UpdateList() const { return m_updateList; }
    const std::vector<UPDATEITEM>& Selected() const { return m_selected; }
    const wchar_t* InstallFolder() const { return m_installFolder; }
    const wchar_t* TempFolder() const { return m_tempFolder; }
    const wchar_t* ImeDriver() const { return m_imeDriver; }
    const wchar_t* TableDriver() const { return m_tableDriver; }
    const wchar_t* SkinDriver() const { return m_skinDriver; }

    // Passes a message to the message callback, when one is set.
    void Notify(const wchar_t* text) const;

private:
    bool ReadDriverNames();
    // Replaces the installed file target by fresh, or leaves it as it was; false then.
    bool ReplaceComponent(const wchar_t* fresh, const wchar_t* target);
    void ReportProgress() const;

    wchar_t m_packageName[40];
    wchar_t m_installFolder[260];
    wchar_t m_imeDriver[40];
    wchar_t m_tableDriver[40];
    wchar_t m_skinDriver[40];
    wchar_t m_systemFolder[260];
    wchar_t m_tempFolder[260];
    std::vector<UPDATEITEM> m_selected;
    std::vector<UPDATEITEM> m_updateList;
    UpdateCallback m_progress = nullptr;
    UpdateCallback m_message = nullptr;
    void* m_context = nullptr;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<uint32_t> m_downloadedBytes{0};
    DWORD m_receiveTimeout = 30000;
};

// The installation folder of the package from "SMEInstallPath" under Software\vexal\<name>
// (the machine's key only, ReadInstallPath), with a trailing backslash.
bool GetInstallPath(const wchar_t* packageName, wchar_t* folder);
// Reads the first <KEY=VALUE> tag of text: key (128 units) and value (512 units), cut to fit; a
// tag without "=" has the value "auto". Returns the units up to and including ">", 0 for none.
int ScanTag(const wchar_t* text, wchar_t* key, wchar_t* value);
// The update server: "UpdateServer" under the machine's Software\vexal\<name> when it holds
// a scheme, a host and an optional port; else the built-in address.
void GetUpdateServer(const wchar_t* packageName, wchar_t* server, size_t count);
// The file taken from a component's cabinet: the component's name with its kind's extension.
std::wstring ExtractedFileName(const UPDATEITEM& item);
