// The update dialog.
#include "update/update_dialog.h"

#include "res/resource.h"

CSR_AutoUpdateDlg::CSR_AutoUpdateDlg() : fw::Dialog(IDD_UPDATE) {}

BOOL CSR_AutoUpdateDlg::OnInitDialog() {
    SetIcons(IDR_MAINFRAME);
    SetText((m_packageName + L" - 更新程序").c_str());
    Show(SW_SHOW);
    return TRUE;
}

void CSR_AutoUpdateDlg::ExitDialog() {
    m_idle = 1;
    EndDialog(IDCANCEL);
}
