// The progress page, which runs the install.
#include "wizard/progress_page.h"

#include "res/resource.h"

CSR_Install_Begain::CSR_Install_Begain() : WizardPage(IDD_PROGRESS) {}
