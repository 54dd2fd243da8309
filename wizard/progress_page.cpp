// The progress page, which runs the install.
#include "wizard/progress_page.h"

#include <cwchar>

#include "run/run_state.h"
#include "framework/message_box.h"
#include "guard/load_status_dialog.h"
#include "install/install_context.h"
#include "install/install_sequence.h"
#include "res/resource.h"
#include "support/bounded_text.h"
#include "wizard/dialog_progress.h"
#include "wizard/finish_page.h"
#include "wizard/select_dir_page.h"

namespace {

constexpr wchar_t kStartCaption[] = L"开始安装(&S)";
constexpr wchar_t kFailedCaption[] = L"确定(&O";  // no closing parenthesis: the failed state's own caption
constexpr int kCaptionChars = 20;

}  // namespace

CSR_Install_Begain::CSR_Install_Begain(RunContext& run) : WizardPage(IDD_PROGRESS, run) {}

BOOL CSR_Install_Begain::OnPageInit() {
    m_details = fw::ListBox(Item(IDC_DETAILS).Handle());
    Item(IDOK).SetText(kStartCaption);
    return TRUE;
}

bool CSR_Install_Begain::OnCommand(WORD code, WORD id, HWND control) {
    if (id == IDC_BACK) {
        CSR_Install_SelectDir destination(m_run);
        HandOver(destination);
        return true;
    }
    return WizardPage::OnCommand(code, id, control);
}

void CSR_Install_Begain::OnOK() {
    wchar_t caption[kCaptionChars] = {};
    GetWindowTextW(Item(IDOK).Handle(), caption, kCaptionChars);
    if (wcscmp(caption, kStartCaption) != 0) {
        WizardPage::OnOK();  // after a failed install: closes the wizard
        return;
    }
    if (!ModuleIsFree(m_hwnd, m_run.package.name)) {
        fw::ShowError(m_hwnd,
                      L"由于您的计算机中存在一个当前输入法的副本，所以您必须结束已加载当前输入法的所有进程，"
                      L"然后执行安装操作。",
                      L"无法执行的操作");
        return;
    }
    Install();
}

void CSR_Install_Begain::Install() {
    DialogProgress progress(m_hwnd);
    InstallContext context(m_run.state, &progress, true);
    context.package = &m_run.package;
    // The run pumps no messages; disabled buttons keep queued clicks from acting on a page
    // whose install is under way.
    Item(IDCANCEL).Enable(false);
    Item(IDOK).Enable(false);
    Item(IDC_BACK).Enable(false);
    if (!RunInstall(context, m_run.wizard.destination, m_run.wizard.userName, m_run.wizard.companyName)) {
        ShowFailed();
        return;
    }
    CSR_Install_OK finish(m_run);
    HandOver(finish);
}

void CSR_Install_Begain::ShowFailed() {
    Item(IDC_BACK).Show(SW_HIDE);
    Item(IDCANCEL).Show(SW_HIDE);
    fw::Window action = Item(IDOK);
    action.SetText(kFailedCaption);
    action.Enable(true);
    // The focus went with the disabled buttons; the one button left takes it.
    SendMsg(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(action.Handle()), TRUE);
}
