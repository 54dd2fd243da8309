// The licence agreement page: the agreement in the browser control, accepted or declined.
#include "wizard/licence_page.h"

#include "run/install_layout.h"
#include "run/run_state.h"
#include "framework/controls.h"
#include "res/resource.h"
#include "support/bounded_text.h"
#include "support/path.h"
#include "wizard/select_dir_page.h"
#include "wizard/welcome_page.h"

namespace {

bool FileExists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

CSR_Install_Licence::CSR_Install_Licence(RunContext& run) : WizardPage(IDD_LICENCE, run) {}

BOOL CSR_Install_Licence::OnPageInit() {
    // Without the control (no HTML engine) the page works on and the browser stays blank.
    m_browser.Create(Item(IDC_BROWSER).Handle());
    ShowAgreement();
    SetAccepted(m_run.wizard.licenceAccepted != 0);
    return TRUE;
}

// The stand-alone page first, else the page of the same name inside the help file.
void CSR_Install_Licence::ShowAgreement() {
    const wchar_t* folder = m_run.state.payloadFolder;
    wchar_t path[kPathChars];
    JoinPath(path, folder, L"License.html");
    if (FileExists(path)) {
        m_browser.Navigate(path);
        return;
    }
    JoinPath(path, folder, kHelpFile);
    if (!FileExists(path)) return;
    wchar_t url[kPathChars];
    FormatCut(url, kPathChars, L"mk:@MSITStore:%s::/License.html", path);
    m_browser.Navigate(url);
}

void CSR_Install_Licence::SetAccepted(bool accepted) {
    m_run.wizard.licenceAccepted = accepted ? 1 : 0;
    Item(IDOK).Enable(accepted);
    CheckRadioButton(m_hwnd, IDC_ACCEPT, IDC_DECLINE, accepted ? IDC_ACCEPT : IDC_DECLINE);
}

bool CSR_Install_Licence::OnCommand(WORD code, WORD id, HWND control) {
    if (code == BN_CLICKED) {
        switch (id) {
        case IDC_ACCEPT:
            SetAccepted(true);
            return true;
        case IDC_DECLINE:
            SetAccepted(false);
            return true;
        case IDC_BACK: {
            CSR_Install_BaseDlg welcome(m_run);
            HandOver(welcome);
            return true;
        }
        default:
            break;
        }
    }
    return WizardPage::OnCommand(code, id, control);
}

void CSR_Install_Licence::OnOK() {
    // Enter reaches here even while Next is disabled.
    if (!m_run.wizard.licenceAccepted) return;
    CSR_Install_SelectDir destination(m_run);
    HandOver(destination);
}

void CSR_Install_Licence::OnDestroy() { m_browser.Destroy(); }
