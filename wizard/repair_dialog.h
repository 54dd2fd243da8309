// CSR_Repair: the dialog of repair mode.
#pragma once
#include "wizard/maintenance_dialog.h"

class CSR_Repair : public MaintenanceDialog {
public:
    explicit CSR_Repair(RunContext& run);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
};
