// The finish page.
#include "wizard/finish_page.h"

#include "res/resource.h"

CSR_Install_OK::CSR_Install_OK(RunContext& run) : WizardPage(IDD_FINISH, run) {}
