// CSR_Install_BaseDlg: the welcome page, the first page of the setup wizard.
#pragma once
#include "wizard/wizard_page.h"

class CSR_Install_BaseDlg : public WizardPage {
public:
    explicit CSR_Install_BaseDlg(RunContext& run);

protected:
    BOOL OnPageInit() override;
    void OnOK() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;

private:
    // Draws the icon centred while minimised; false when the default painting should run.
    bool PaintMinimised();

    HICON m_icon;
};
