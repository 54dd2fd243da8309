// CSR_Install_OK: the finish page.
#pragma once
#include "wizard/wizard_page.h"

// Its one button closes it, and with it the whole wizard.
class CSR_Install_OK : public WizardPage {
public:
    explicit CSR_Install_OK(RunContext& run);

protected:
    // The install is done: Esc and the close box end the page without the cancel question.
    void OnCancel() override { EndDialog(IDCANCEL); }
};
