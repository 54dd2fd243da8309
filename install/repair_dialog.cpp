// The repair dialog. Its template is created hidden; the start shows it. The button reads
// "修复(&R)" while a repair can run and "完成(&O)" when there is nothing (more) to do.
#include "install/repair_dialog.h"

#include <string>

#include "app/run_state.h"
#include "framework/controls.h"
#include "guard/load_status_dialog.h"
#include "install/repair.h"
#include "res/resource.h"

namespace {

constexpr wchar_t kRepairCaption[] = L"修复(&R)";
constexpr wchar_t kDoneCaption[] = L"完成(&O)";

}  // namespace

CSR_Repair::CSR_Repair() : fw::Dialog(IDD_REPAIR) {}

BOOL CSR_Repair::OnInitDialog() {
    SetIcons(IDR_MAINFRAME);
    SetText((std::wstring(g_installedPackage->packageName) + L" - 修复程序").c_str());
    fw::ProgressBar progress(Item(IDC_PROGRESS).Handle());
    progress.SetRange(0, 100);
    progress.SetPos(0);
    Show(SW_SHOW);
    if (!ModuleIsFree(m_hwnd, g_installedPackage->packageName)) {
        EndDialog(0);  // the user kept the holders: nothing is repaired
        return TRUE;
    }
    wchar_t backup[kPathChars];
    if (ReadableBackup(*g_installedPackage, backup)) {
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
    const std::wstring caption = Item(IDOK).GetText();
    if (caption == kRepairCaption) {
        wchar_t userName[kRecordedNameChars], companyName[kRecordedNameChars];
        ReadRecordedNames(g_installedPackage->packageName, userName, companyName);
        InstallContext context;
        InitInstallContext(context, m_hwnd, nullptr);
        RunRepair(context, *g_installedPackage, userName, companyName);
        // The list tells how the run went; the dialog's last word is the same either way.
        Item(IDC_STATE_TEXT).SetText(L"修复操作完毕，单击\"完成(&R)\"按钮退出");
        Item(IDOK).SetText(kDoneCaption);
    } else if (caption == kDoneCaption) {
        EndDialog(IDOK);
    }
}
