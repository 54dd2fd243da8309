// CSR_Install_Begain: the progress page, which runs the install.
#pragma once
#include <windows.h>

#include "framework/controls.h"
#include "wizard/wizard_page.h"

// Its action button reads "开始安装(&S)" until an install fails, then "确定(&O", which
// closes the wizard; the caption alone tells the two roles apart.
class CSR_Install_Begain : public WizardPage {
public:
    explicit CSR_Install_Begain(RunContext& run);

protected:
    BOOL OnPageInit() override;
    bool OnCommand(WORD code, WORD id, HWND control) override;
    void OnOK() override;

private:
    // Runs the install on this thread; the finish page on success, the failed state otherwise.
    void Install();
    void ShowFailed();

    fw::ListBox m_details;
};
