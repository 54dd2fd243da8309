// The common start of the wizard pages.
#include "wizard/wizard_page.h"

#include "framework/application.h"
#include "framework/message_box.h"
#include "res/resource.h"

std::wstring ReplaceNameMarker(const std::wstring& title, const wchar_t* packageName) {
    static const std::wstring kMarker = L"[name]";
    const std::wstring replacement = std::wstring(packageName) + L"输入法";
    std::wstring result;
    size_t from = 0;
    for (size_t at; (at = title.find(kMarker, from)) != std::wstring::npos; from = at + kMarker.size()) {
        result.append(title, from, at - from).append(replacement);
    }
    return result.append(title, from, std::wstring::npos);
}

BOOL WizardPage::OnInitDialog() {
    SetIcons(IDR_MAINFRAME);
    SetText(ReplaceNameMarker(GetText(), m_run.package.name).c_str());
    return OnPageInit();
}

void WizardPage::HandOver(WizardPage& next) {
    EndDialog(IDOK);
    if (fw::Application* app = fw::Application::Instance()) app->SetMainWindow(&next);
    next.DoModal(nullptr);
}

void WizardPage::OnCancel() {
    if (fw::AskYesNo(m_hwnd,
                     L"安装程序尚未完成,如果您现在退出,您的程序将不能安装.\n\n您可以以后再运行安装程序完成安装\n\n"
                     L"是否中止安装过程？",
                     L"用户中止操作")) {
        EndDialog(IDCANCEL);
    }
}
