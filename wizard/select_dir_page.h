// CSR_Install_SelectDir: the destination page.
#pragma once
#include "wizard/wizard_page.h"

class CSR_Install_SelectDir : public WizardPage {
public:
    CSR_Install_SelectDir();
};
