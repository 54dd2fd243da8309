// What every wizard page shares: the program's icon, "[name]" in the title replaced by the
// package name followed by "输入法", the cancel question, and the hand-over to the next page.
#pragma once
#include <string>

#include "framework/dialog.h"
#include "run/run_context.h"

// Every "[name]" of title replaced by packageName followed by "输入法".
std::wstring ReplaceNameMarker(const std::wstring& title, const wchar_t* packageName);

class WizardPage : public fw::Dialog {
public:
    WizardPage(UINT templateId, RunContext& run) : fw::Dialog(templateId), m_run(run) {}

    // Hands over to the next page: this one ends with IDOK (hidden at once), the next one
    // becomes the main window and runs modally from inside the calling handler, so the
    // pages nest until the last one closes.
    void HandOver(WizardPage& next);

protected:
    BOOL OnInitDialog() override;
    // The page's own initialisation, after the common start.
    virtual BOOL OnPageInit() { return TRUE; }
    // Cancel, Esc and the close box alike: asks whether to abandon the install; Yes ends
    // the page with IDCANCEL, which unwinds the whole wizard.
    void OnCancel() override;

    RunContext& m_run;
};
