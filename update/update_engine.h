// ZERAVIzider, the update engine: the update list, the selection of the package's components
// and the update of one component.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "update/component_types.h"
#include "update/download.h"
#include "update/update_list.h"
#include "update/version_info.h"

// What the engine reports: a message (text, number 0) or the download progress (no text, the
// bytes received by every download so far). The receiver must not keep the pointer.
struct UPDATEMSG {
    const wchar_t* text;
    int32_t number;
};

using UpdateCallback = void (*)(const UPDATEMSG& notification, void* context);

// A component is one module of a few megabytes: a cabinet larger than this is refused before
// any of it is written.
constexpr DWORD kMaxComponentCabinetBytes = 64u << 20;

class ZERAVIzider {
public:
    ZERAVIzider();
    // Removes the run's own temporary folder and what is left in it.
    ~ZERAVIzider();
    ZERAVIzider(const ZERAVIzider&) = delete;
    ZERAVIzider& operator=(const ZERAVIzider&) = delete;

    bool InitUpdate(UpdateCallback progress, UpdateCallback message, void* context);
    // Downloads address into path; false on any failure, also on a transfer that breaks off
    // or ends short of its announced length, and on a body longer than maxBytes (0: no
    // bound); the partial file is then removed.
    bool DownloadFile(const wchar_t* address, const wchar_t* path, DWORD maxBytes = 0) {
        return m_downloader.DownloadFile(address, path, maxBytes);
    }
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
    void RequestStop() { m_downloader.RequestStop(); }
    void ClearStop() { m_downloader.ClearStop(); }
    bool StopRequested() const { return m_downloader.StopRequested(); }
    // How long a download waits for data before it fails.
    void SetReceiveTimeout(DWORD milliseconds) { m_downloader.SetReceiveTimeout(milliseconds); }

    // Bytes received by all of this updater's downloads; never reset.
    uint32_t DownloadedBytes() const { return m_downloader.DownloadedBytes(); }

    const std::vector<UPDATEITEM>& UpdateList() const { return m_updateList; }
    const std::vector<UPDATEITEM>& Selected() const { return m_selected; }
    const wchar_t* InstallFolder() const { return m_installFolder; }
    const wchar_t* ImeDriver() const { return m_imeDriver; }
    const wchar_t* TableDriver() const { return m_tableDriver; }
    const wchar_t* SkinDriver() const { return m_skinDriver; }

    // Passes a message to the message callback, when one is set.
    void Notify(const wchar_t* text) const;

private:
    bool ReadDriverNames();
    // Replaces the installed file target by fresh, or leaves it as it was; false then.
    bool ReplaceComponent(const wchar_t* fresh, const wchar_t* target);
    // The downloader's progress, passed on to the progress callback.
    static void ReportProgress(uint32_t total, void* engine);

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
    Downloader m_downloader;
};

// The installation folder of the package from "SMEInstallPath" under Software\vexal\<name>
// (the machine's key only, ReadInstallPath), with a trailing backslash.
bool GetInstallPath(const wchar_t* packageName, wchar_t* folder);
// The file taken from a component's cabinet: the component's name with its kind's extension.
std::wstring ExtractedFileName(const UPDATEITEM& item);
