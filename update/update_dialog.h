// CSR_AutoUpdateDlg: the dialog of online-update mode.
#pragma once
#include <string>

#include "framework/dialog.h"

class CSR_AutoUpdateDlg : public fw::Dialog {
public:
    CSR_AutoUpdateDlg();

    void SetPackageName(const wchar_t* name) { m_packageName = name; }

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override { ExitDialog(); }

private:
    void ExitDialog();

    int m_idle = 1;  // nonzero while no worker runs
    std::wstring m_packageName;
};
