// CSR_InstallError: the page shown when the installer cannot be prepared; its button closes it.
#pragma once
#include "wizard/wizard_page.h"

class CSR_InstallError : public WizardPage {
public:
    explicit CSR_InstallError(RunContext& run);

protected:
    // Nothing is left to abandon here: the close box ends the page without the wizard's question.
    void OnCancel() override { EndDialog(IDCANCEL); }
};
