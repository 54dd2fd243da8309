// The error page.
#include "wizard/error_page.h"

#include "res/resource.h"

CSR_InstallError::CSR_InstallError(RunContext& run) : WizardPage(IDD_ERROR, run) {}
