// The error page.
#include "wizard/error_page.h"

#include "res/resource.h"

CSR_InstallError::CSR_InstallError() : WizardPage(IDD_ERROR) {}
