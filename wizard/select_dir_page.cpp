// The destination page.
#include "wizard/select_dir_page.h"

#include "res/resource.h"

CSR_Install_SelectDir::CSR_Install_SelectDir() : WizardPage(IDD_SELECT_DIR) {}
