// The uninstall dialog: its button reads "卸载(&U)" until the run, then "完成(&O)", which closes.
#include "wizard/uninstall_dialog.h"

#include <string>

#include "app/run_state.h"
#include "framework/controls.h"
#include "guard/load_status_dialog.h"
#include "install/uninstall_sequence.h"
#include "res/resource.h"

namespace {

constexpr wchar_t kUninstallCaption[] = L"卸载(&U)";
constexpr wchar_t kDoneCaption[] = L"完成(&O)";

}  // namespace

CCSR_Uninstall::CCSR_Uninstall() : fw::Dialog(IDD_UNINSTALL) {}

BOOL CCSR_Uninstall::OnInitDialog() {
    SetIcons(IDR_MAINFRAME);
    SetText((std::wstring(g_installedPackage->packageName) + L" - 卸载程序").c_str());
    fw::ProgressBar progress(Item(IDC_PROGRESS).Handle());
    progress.SetRange(0, 100);
    progress.SetPos(0);
    // Visible behind the load-status dialog, which asks first.
    Show(SW_SHOW);
    if (!ModuleIsFree(m_hwnd, g_installedPackage->packageName)) {
        EndDialog(0);  // the user kept the holders: nothing is removed
        return TRUE;
    }
    Item(IDOK).SetText(kUninstallCaption);
    return TRUE;
}

void CCSR_Uninstall::OnOK() {
    // The caption tells the button's role.
    const std::wstring caption = Item(IDOK).GetText();
    if (caption == kUninstallCaption) {
        InstallContext context;
        InitUninstallContext(context, m_hwnd);
        RunUninstall(context);
        Item(IDOK).SetText(kDoneCaption);
    } else if (caption == kDoneCaption) {
        EndDialog(IDOK);
    }
}
