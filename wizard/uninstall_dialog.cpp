// The uninstall dialog: its button reads "卸载(&U)" until the run, then "完成(&O)", which closes.
#include "wizard/uninstall_dialog.h"

#include <string>

#include "app/run_state.h"
#include "framework/controls.h"
#include "res/resource.h"

CCSR_Uninstall::CCSR_Uninstall() : fw::Dialog(IDD_UNINSTALL) {}

BOOL CCSR_Uninstall::OnInitDialog() {
    SetIcons(IDR_MAINFRAME);
    SetText((std::wstring(g_installedPackage->packageName) + L" - 卸载程序").c_str());
    fw::ProgressBar progress(Item(IDC_PROGRESS).Handle());
    progress.SetRange(0, 100);
    progress.SetPos(0);
    Show(SW_SHOW);
    return TRUE;
}

void CCSR_Uninstall::OnOK() {
    // The caption tells the button's role; "卸载(&U)" starts the uninstall sequence.
    if (Item(IDOK).GetText() == L"完成(&O)") EndDialog(IDOK);
}
