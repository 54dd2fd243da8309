// The welcome page: the licensed user and company names, prefilled from the registry.
#include "wizard/welcome_page.h"

#include "res/resource.h"
#include "support/bounded_text.h"
#include "wizard/licence_page.h"
#include "run/registry_layout.h"

namespace {

// 256 bytes for each registered name: a value that is missing or longer leaves the field as
// it was.
constexpr DWORD kRegisteredNameBytes = 256;

// Only an empty company name brings the registry back, and then for both fields: a user
// who comes back from the licence page keeps what was typed.
void PrefillFromRegistry(WIZARDSTATE& state) {
    if (state.companyName[0]) return;
    ReadRegisteredName(kRegisteredOrganizationValue, state.companyName, 256, kRegisteredNameBytes);
    ReadRegisteredName(kRegisteredOwnerValue, state.userName, 256, kRegisteredNameBytes);
}

}  // namespace

CSR_Install_BaseDlg::CSR_Install_BaseDlg(RunContext& run)
    : WizardPage(IDD_WELCOME, run), m_icon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

BOOL CSR_Install_BaseDlg::OnPageInit() {
    PrefillFromRegistry(m_run.wizard);
    Item(IDC_USER_NAME).SetText(m_run.wizard.userName);
    Item(IDC_COMPANY_NAME).SetText(m_run.wizard.companyName);
    return TRUE;
}

void CSR_Install_BaseDlg::OnOK() {
    // Empty names are accepted as they are.
    GetDlgItemTextW(m_hwnd, IDC_USER_NAME, m_run.wizard.userName, 256);
    GetDlgItemTextW(m_hwnd, IDC_COMPANY_NAME, m_run.wizard.companyName, 256);
    CSR_Install_Licence licence(m_run);
    HandOver(licence);
}

bool CSR_Install_BaseDlg::OnMessage(UINT msg, WPARAM, LPARAM, INT_PTR& result) {
    switch (msg) {
    case WM_PAINT:
        return PaintMinimised();
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(m_icon);
        return true;
    default:
        return false;
    }
}

bool CSR_Install_BaseDlg::PaintMinimised() {
    if (!IsIconic(m_hwnd)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hwnd, &paint);
    SendMsg(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
    RECT client;
    GetClientRect(m_hwnd, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_icon);
    EndPaint(m_hwnd, &paint);
    return true;
}
