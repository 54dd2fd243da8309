// CCSR_Uninstall: the dialog of uninstall mode.
#pragma once
#include "framework/dialog.h"

class CCSR_Uninstall : public fw::Dialog {
public:
    CCSR_Uninstall();

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
};
