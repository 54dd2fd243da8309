// CSR_AutoUpdateDlg: the dialog of online-update mode.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/handles.h"
#include "update/update_engine.h"

class CSR_AutoUpdateDlg : public fw::Dialog {
public:
    CSR_AutoUpdateDlg();
    // A worker still running is asked to stop and waited for: it uses this object.
    ~CSR_AutoUpdateDlg() override;

    void SetPackageName(const wchar_t* name) { m_packageName = name; }

    // Starts a run on a worker thread, only while no run is going on.
    void StartRun();

    // The progress text of a byte count: "%d B" up to 10240, "%d KB" above.
    static void FormatProgress(int bytes, wchar_t* out, size_t count);
    static void ShowDownloadProgress(const UPDATEMSG& notification, void* context);
    static void ShowUpdateMessage(const UPDATEMSG& notification, void* context);

// What the worker uses, from its own thread.
    const wchar_t* PackageName() const { return m_packageName.c_str(); }
    ZERAVIzider& Engine() { return m_engine; }
    fw::ListView Components() const;
    fw::ListBox Messages() const;
    // The worker's last act: the dialog becomes idle and learns that the run is over.
    void WorkerFinished();

protected:
    BOOL OnInitDialog() override;
    void OnOK() override { StartRun(); }
    void OnCancel() override { ExitDialog(); }
    void OnTimer(UINT_PTR id) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;

private:
    void InsertColumns() const;
    void ExitDialog();
    void WaitForWorker();

    std::atomic<int> m_idle{1};  // nonzero while no worker runs
    bool m_closing = false;      // exit was pressed while a worker ran
    std::wstring m_packageName;
    ZERAVIzider m_engine;
    fw::UniqueHandle m_worker;
};

// One update run for the dialog; the thread's procedure, its argument the dialog.
DWORD WINAPI UpdateThreadProc(void* dialog);
