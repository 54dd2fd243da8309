// CSR_Install_BaseDlg: the welcome page, the first page of the setup wizard.
#pragma once
#include "wizard/wizard_page.h"

class CSR_Install_BaseDlg : public WizardPage {
public:
    CSR_Install_BaseDlg();
};
