// CSR_Install_OK: the finish page.
#pragma once
#include "wizard/wizard_page.h"

class CSR_Install_OK : public WizardPage {
public:
    CSR_Install_OK();
};
