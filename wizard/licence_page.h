// CSR_Install_Licence: the licence agreement page.
#pragma once
#include <string>

#include "framework/browser_host.h"
#include "wizard/wizard_page.h"

class CSR_Install_Licence : public WizardPage {
public:
    explicit CSR_Install_Licence(RunContext& run);

    // The address the browser was asked to show; empty when the payload has no agreement.
    const std::wstring& LicenceUrl() const { return m_browser.LastUrl(); }

protected:
    BOOL OnPageInit() override;
    bool OnCommand(WORD code, WORD id, HWND control) override;
    void OnOK() override;
    void OnDestroy() override;

private:
    void ShowAgreement();
    void SetAccepted(bool accepted);

    fw::BrowserHost m_browser;
};
