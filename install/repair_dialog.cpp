// The repair dialog. Its template is created hidden; the start shows it.
#include "install/repair_dialog.h"

#include <string>

#include "app/run_state.h"
#include "res/resource.h"

CSR_Repair::CSR_Repair() : fw::Dialog(IDD_REPAIR) {}

BOOL CSR_Repair::OnInitDialog() {
    SetIcons(IDR_MAINFRAME);
    SetText((std::wstring(g_installedPackage->packageName) + L" - 修复程序").c_str());
    Show(SW_SHOW);
    return TRUE;
}

void CSR_Repair::OnOK() {
    // Told apart by caption: "完成(&O)" closes; the template's "修复(&U)" does nothing.
    if (Item(IDOK).GetText() == L"完成(&O)") EndDialog(IDOK);
}
