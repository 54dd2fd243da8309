// The welcome page.
#include "wizard/welcome_page.h"

#include "res/resource.h"

CSR_Install_BaseDlg::CSR_Install_BaseDlg() : WizardPage(IDD_WELCOME) {}
