// The repair dialog. Its template is created hidden; the start shows it. The button reads
// "修复(&R)" while a repair can run and "完成(&O)" when there is nothing (more) to do.
#include "wizard/repair_dialog.h"

#include "install/repair.h"
#include "res/resource.h"
#include "wizard/dialog_progress.h"

namespace {

constexpr wchar_t kRepairCaption[] = L"修复(&R)";

}  // namespace

CSR_Repair::CSR_Repair(RunContext& run) : MaintenanceDialog(IDD_REPAIR, run, L"修复程序") {}

BOOL CSR_Repair::OnInitDialog() {
    if (!Start()) return TRUE;
    wchar_t backup[kPathChars];
    if (ReadableBackup(m_run.installed, backup)) {
        Item(IDOK).SetText(kRepairCaption);
        Item(IDC_STATE_TEXT).SetText(L"您可以单击\"修复(&R)\"按钮,以修复已经安装过的输入法.");
    } else {
        Item(IDOK).SetText(kDoneCaption);
        Item(IDC_STATE_TEXT).SetText(L"安装数据文件不存在或者已经损坏,修复程序无法运行.");
    }
    return TRUE;
}

void CSR_Repair::OnOK() {
    // Told apart by caption; the template's "修复(&U)" is always replaced and does nothing.
    const std::wstring caption = Caption();
    if (caption == kRepairCaption) {
        wchar_t userName[kRecordedNameChars], companyName[kRecordedNameChars];
        ReadRecordedNames(m_run.installed.packageName, userName, companyName);
        DialogProgress progress(m_hwnd);
        InstallContext context(m_run.state, &progress, true);
        RunRepair(context, m_run.installed, userName, companyName);
        // The list tells how the run went; the dialog's last word is the same either way.
        Item(IDC_STATE_TEXT).SetText(L"修复操作完毕，单击\"完成(&R)\"按钮退出");
        Item(IDOK).SetText(kDoneCaption);
    } else if (caption == kDoneCaption) {
        EndDialog(IDOK);
    }
}
