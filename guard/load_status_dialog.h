// CSR_IMELoadStatus: the dialog that lists the processes holding the module and ends them.
#pragma once
#include "framework/dialog.h"

class CSR_IMELoadStatus : public fw::Dialog {
public:
    CSR_IMELoadStatus();
};
