// The dialog that lists the processes holding the module and ends them.
#include "guard/load_status_dialog.h"

#include "res/resource.h"

CSR_IMELoadStatus::CSR_IMELoadStatus() : fw::Dialog(IDD_LOAD_STATUS) {}
