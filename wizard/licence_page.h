// CSR_Install_Licence: the licence agreement page.
#pragma once
#include "wizard/wizard_page.h"

class CSR_Install_Licence : public WizardPage {
public:
    CSR_Install_Licence();
};
