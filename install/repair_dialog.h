// CSR_Repair: the dialog of repair mode.
#pragma once
#include "framework/dialog.h"

class CSR_Repair : public fw::Dialog {
public:
    CSR_Repair();

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
};
