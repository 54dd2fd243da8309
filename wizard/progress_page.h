// CSR_Install_Begain: the progress page, which runs the install.
#pragma once
#include "wizard/wizard_page.h"

class CSR_Install_Begain : public WizardPage {
public:
    CSR_Install_Begain();
};
