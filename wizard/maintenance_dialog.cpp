#include "wizard/maintenance_dialog.h"

#include <string>

#include "framework/controls.h"
#include "guard/load_status_dialog.h"
#include "res/resource.h"

bool MaintenanceDialog::Start() {
    SetIcons(IDR_MAINFRAME);
    SetText((std::wstring(m_run.installed.packageName) + L" - " + m_role).c_str());
    fw::ProgressBar progress(Item(IDC_PROGRESS).Handle());
    progress.SetRange(0, 100);
    progress.SetPos(0);
    Show(SW_SHOW);
    if (!ModuleIsFree(m_hwnd, m_run.installed.packageName)) {
        EndDialog(0);  // the user kept the holders: nothing is touched
        return false;
    }
    return true;
}
