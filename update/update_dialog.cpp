// The update dialog.
#include "update/update_dialog.h"

#include "framework/message_box.h"
#include "guard/load_status_dialog.h"
#include "res/resource.h"
#include "support/bounded_text.h"

namespace {

constexpr UINT_PTR kStartTimer = 1;
// Posted by the worker at its end, so that a pending exit can close the dialog.
constexpr UINT kWorkerDone = WM_APP + 1;

struct ColumnSpec {
    const wchar_t* heading;
    int width;
};
const ColumnSpec kColumns[] = {
    {L"状态", 50}, {L"本地版本", 80}, {L"最新版本", 80}, {L"驱动类型", 80}, {L"驱动名称", 150},
};

}  // namespace

CSR_AutoUpdateDlg::CSR_AutoUpdateDlg() : fw::Dialog(IDD_UPDATE) {}

CSR_AutoUpdateDlg::~CSR_AutoUpdateDlg() { WaitForWorker(); }

fw::ListView CSR_AutoUpdateDlg::Components() const { return fw::ListView(Item(IDC_COMPONENTS).Handle()); }

fw::ListBox CSR_AutoUpdateDlg::Messages() const { return fw::ListBox(Item(IDC_DETAILS).Handle()); }

BOOL CSR_AutoUpdateDlg::OnInitDialog() {
    SetIcons(IDR_MAINFRAME);
    SetText((m_packageName + L" - 更新程序").c_str());
    Show(SW_SHOW);
    if (!ModuleIsFree(m_hwnd, m_packageName.c_str())) {
        EndDialog(0);
        return TRUE;
    }
    InsertColumns();
    if (m_engine.InitUpdate(ShowDownloadProgress, ShowUpdateMessage, this)) {
        SetTimer(m_hwnd, kStartTimer, 200, nullptr);
    } else {
        // The reason is already in the message list.
        fw::ShowError(m_hwnd, L"初始化ZERAVIzider发生错误", L"");
    }
    return TRUE;
}

void CSR_AutoUpdateDlg::InsertColumns() const {
    fw::ListView list = Components();
    for (int i = 0; i < 5; ++i) list.InsertColumn(i, kColumns[i].heading, kColumns[i].width);
    list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_BORDERSELECT);
    list.SetSelectedColumn(0);
}

void CSR_AutoUpdateDlg::OnTimer(UINT_PTR id) {
    if (id != kStartTimer) return;
    KillTimer(m_hwnd, kStartTimer);
    StartRun();
}

void CSR_AutoUpdateDlg::StartRun() {
    if (!m_idle || m_closing) return;
    m_idle = 0;
    Messages().ResetContent();
    Components().DeleteAllItems();
    WaitForWorker();  // the last run's thread has ended or is about to
    m_engine.ClearStop();
    DWORD id = 0;
    m_worker.Reset(CreateThread(nullptr, 0, UpdateThreadProc, this, 0, &id));
    if (!m_worker.Valid()) m_idle = 1;
}

void CSR_AutoUpdateDlg::WorkerFinished() {
    m_idle = 1;
    PostMessageW(m_hwnd, kWorkerDone, 0, 0);
}

bool CSR_AutoUpdateDlg::OnMessage(UINT msg, WPARAM, LPARAM, INT_PTR& result) {
    if (msg != kWorkerDone) return false;
    if (m_closing) {
        WaitForWorker();
        EndDialog(IDCANCEL);
    }
    result = 0;
    return true;
}

void CSR_AutoUpdateDlg::ExitDialog() {
    // A running worker drives this dialog's controls and uses its engine: it is asked to stop
    // and the dialog closes once it has (kWorkerDone), never under it.
    if (!m_idle) {
        m_closing = true;
        m_engine.RequestStop();
        Item(IDOK).Enable(false);
        Item(IDCANCEL).Enable(false);
        return;
    }
    EndDialog(IDCANCEL);
}

void CSR_AutoUpdateDlg::WaitForWorker() {
    if (!m_worker.Valid()) return;
    m_engine.RequestStop();
    // The worker may be inside a message sent to this thread's controls: serve those while
    // waiting, or neither side would go on.
    HANDLE worker = m_worker.Get();
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    m_worker.Reset();
}

void CSR_AutoUpdateDlg::FormatProgress(int bytes, wchar_t* out, size_t count) {
    if (bytes <= 10240) {
        FormatCut(out, count, L"%d B", bytes);
    } else {
        FormatCut(out, count, L"%d KB", bytes / 1024);
    }
}

void CSR_AutoUpdateDlg::ShowDownloadProgress(const UPDATEMSG& notification, void* context) {
    if (notification.number == 0) return;
    auto* dialog = static_cast<CSR_AutoUpdateDlg*>(context);
    wchar_t text[10];
    FormatProgress(notification.number, text, 10);
    fw::ListView list = dialog->Components();
    const int row = list.GetSelected();
    if (row >= 0) list.SetItemText(row, 0, text);
}

void CSR_AutoUpdateDlg::ShowUpdateMessage(const UPDATEMSG& notification, void* context) {
    if (!notification.text) return;
    auto* dialog = static_cast<CSR_AutoUpdateDlg*>(context);
    fw::ListBox list = dialog->Messages();
    list.SetCurSel(list.AddString(notification.text));
    UpdateWindow(list.Handle());
}
