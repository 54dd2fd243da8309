// The finish page.
#include "wizard/finish_page.h"

#include "res/resource.h"

CSR_Install_OK::CSR_Install_OK() : WizardPage(IDD_FINISH) {}
