// The welcome page: the licensed user and company names, prefilled from the registry.
#include "wizard/welcome_page.h"

#include "framework/handles.h"
#include "res/resource.h"
#include "support/bounded_text.h"
#include "wizard/licence_page.h"
#include "wizard/wizard_state.h"

namespace {

// 256 bytes for each registered name: at most 127 characters and the terminator.
constexpr DWORD kRegisteredNameBytes = 256;

// A value that is missing (or too long for the budget) leaves the field as it was.
void ReadName(HKEY key, const wchar_t* value, wchar_t* field, size_t count) {
    wchar_t text[kRegisteredNameBytes / sizeof(wchar_t) + 1] = {};
    DWORD bytes = kRegisteredNameBytes;
    if (RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS) return;
    CopyCut(field, count, text);
}

// Only an empty company name brings the registry back, and then for both fields: a user
// who comes back from the licence page keeps what was typed.
void PrefillFromRegistry(WIZARDSTATE& state) {
    if (state.companyName[0]) return;
    fw::RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", KEY_READ)) return;
    ReadName(key.Get(), L"RegisteredOrganization", state.companyName, kRegisteredNameBytes / sizeof(wchar_t));
    ReadName(key.Get(), L"RegisteredOwner", state.userName, kRegisteredNameBytes / sizeof(wchar_t));
}

}  // namespace

CSR_Install_BaseDlg::CSR_Install_BaseDlg()
    : WizardPage(IDD_WELCOME), m_icon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

BOOL CSR_Install_BaseDlg::OnPageInit() {
    PrefillFromRegistry(g_wizardState);
    Item(IDC_USER_NAME).SetText(g_wizardState.userName);
    Item(IDC_COMPANY_NAME).SetText(g_wizardState.companyName);
    return TRUE;
}

void CSR_Install_BaseDlg::OnOK() {
    // Empty names are accepted as they are.
    GetDlgItemTextW(m_hwnd, IDC_USER_NAME, g_wizardState.userName, 256);
    GetDlgItemTextW(m_hwnd, IDC_COMPANY_NAME, g_wizardState.companyName, 256);
    CSR_Install_Licence licence;
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
