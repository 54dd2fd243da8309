// The dialog that lists the processes holding the module and ends them.
#include "guard/load_status_dialog.h"

#include "framework/controls.h"
#include "res/resource.h"
#include "support/bounded_text.h"

CSR_IMELoadStatus::CSR_IMELoadStatus() : fw::Dialog(IDD_LOAD_STATUS) {}

BOOL CSR_IMELoadStatus::OnInitDialog() {
    // Shown over the page that asks; it has no task-bar button of its own.
    SetWindowLongPtrW(m_hwnd, GWL_EXSTYLE, GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE) & ~WS_EX_APPWINDOW);
    SetIcons(IDR_MAINFRAME);
    if (m_finder.Entries().empty()) {
        EndDialog(0);
        return TRUE;
    }
    ShowHolders(false);
    return TRUE;
}

bool CSR_IMELoadStatus::OnCommand(WORD code, WORD id, HWND control) {
    if (id == IDC_END_PROCESSES) {
        EndHolders();
        return true;
    }
    return fw::Dialog::OnCommand(code, id, control);
}

void CSR_IMELoadStatus::OnOK() {
    if (m_finder.Entries().empty()) EndDialog(IDOK);
}

void CSR_IMELoadStatus::EndHolders() {
    if (m_finder.EndAllHolders() == 0) {
        OnOK();
        return;
    }
    // A holder that did not go, or one that came since: the user may press again.
    ShowHolders(true);
}

void CSR_IMELoadStatus::ShowHolders(bool english) const {
    fw::ListBox list(Item(IDC_HOLDER_LINES).Handle());
    list.ResetContent();
    for (const ProcessEntry& entry : m_finder.Entries()) list.AddString(HolderLine(entry, english).c_str());
}

bool ModuleIsFree(HWND owner, const wchar_t* packageName) {
    // A name that is no package's names no module either, and nothing is done by it; its key
    // would be a bare "(1).ime", which every package's module ends with.
    wchar_t key[kModuleKeyChars];
    if (!FormatModuleKey(key, packageName)) return true;
    CSR_IMELoadStatus status;
    return status.CheckLoaded(key) == 0 || status.DoModal(owner) == IDOK;
}
