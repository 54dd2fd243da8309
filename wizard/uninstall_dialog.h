// CCSR_Uninstall: the dialog of uninstall mode.
#pragma once
#include "wizard/maintenance_dialog.h"

class CCSR_Uninstall : public MaintenanceDialog {
public:
    explicit CCSR_Uninstall(RunContext& run);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
};
