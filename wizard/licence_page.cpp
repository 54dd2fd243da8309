// The licence agreement page.
#include "wizard/licence_page.h"

#include "res/resource.h"

CSR_Install_Licence::CSR_Install_Licence() : WizardPage(IDD_LICENCE) {}
