// MaintenanceDialog: what the uninstall and repair dialogs share. Both work on the installed
// package that the command line names, are titled "<name> - <role>", show their progress
// bar from 0 of 100, and end at once when the user keeps the module's holders. Their one
// button is told apart by its caption; "完成(&O)" closes either.
#pragma once
#include "framework/dialog.h"
#include "run/run_context.h"

class MaintenanceDialog : public fw::Dialog {
public:
    MaintenanceDialog(UINT templateId, RunContext& run, const wchar_t* role)
        : fw::Dialog(templateId), m_run(run), m_role(role) {}

protected:
    static constexpr const wchar_t* kDoneCaption = L"完成(&O)";

    // The common start: icon, title, progress bar, shown (visible behind the load-status
    // dialog, which asks first). False when the module stays in use and the dialog has ended.
    bool Start();
    // The caption of the one button.
    std::wstring Caption() const { return Item(IDOK).GetText(); }

    RunContext& m_run;

private:
    const wchar_t* m_role;
};
