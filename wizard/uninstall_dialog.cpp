// The uninstall dialog: its button reads "卸载(&U)" until the run, then "完成(&O)", which closes.
#include "wizard/uninstall_dialog.h"

#include "install/uninstall_sequence.h"
#include "res/resource.h"
#include "wizard/dialog_progress.h"

namespace {

constexpr wchar_t kUninstallCaption[] = L"卸载(&U)";

}  // namespace

CCSR_Uninstall::CCSR_Uninstall(RunContext& run) : MaintenanceDialog(IDD_UNINSTALL, run, L"卸载程序") {}

BOOL CCSR_Uninstall::OnInitDialog() {
    if (Start()) Item(IDOK).SetText(kUninstallCaption);
    return TRUE;
}

void CCSR_Uninstall::OnOK() {
    const std::wstring caption = Caption();
    if (caption == kUninstallCaption) {
        DialogProgress progress(m_hwnd);
        InstallContext context(m_run.state, &progress, true);
        context.installed = &m_run.installed;
        RunUninstall(context);
        Item(IDOK).SetText(kDoneCaption);
    } else if (caption == kDoneCaption) {
        EndDialog(IDOK);
    }
}
