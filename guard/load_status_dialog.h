// CSR_IMELoadStatus: the dialog that lists the processes holding the module and ends them.
#pragma once
#include "framework/dialog.h"
#include "guard/process_finder.h"

// Callers construct it, call CheckLoaded with the module key and, when the count is at least
// 1, run it modally and go on only on IDOK: every holder was ended. IDCANCEL: the user gave
// up. 0: it was run with an empty list and closed at once.
class CSR_IMELoadStatus : public fw::Dialog {
public:
    CSR_IMELoadStatus();

    // Lists the holders of key anew; their count.
    int CheckLoaded(const wchar_t* key) { return m_finder.CheckLoaded(key); }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD code, WORD id, HWND control) override;
    // No IDOK button: a stray IDOK must not pass for "every holder ended".
    void OnOK() override;

private:
    void EndHolders();
    void ShowHolders(bool english) const;

    ProcessFinder m_finder;
};

// The guard every mode runs before it touches the module "<name>(1).ime": true when no
// process holds it, or when the load-status dialog, run modally over owner, ended them all.
// Also true for a name that is no plain package name, by which no mode touches anything.
bool ModuleIsFree(HWND owner, const wchar_t* packageName);
