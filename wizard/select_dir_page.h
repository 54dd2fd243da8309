// CSR_Install_SelectDir: the destination page.
#pragma once
#include "wizard/wizard_page.h"

// Whether a drive with this many free bytes is offered for software of requiredMB megabytes:
// it must keep 200 MB beyond it.
bool DriveHasRoom(ULONGLONG freeBytes, unsigned requiredMB);

class CSR_Install_SelectDir : public WizardPage {
public:
    explicit CSR_Install_SelectDir(RunContext& run);

protected:
    BOOL OnPageInit() override;
    bool OnCommand(WORD code, WORD id, HWND control) override;
    void OnOK() override;

private:
    void ShowRequiredSize(unsigned requiredMB);
    void ListDrives(unsigned requiredMB);
    // Locks the page on the folder of an installation recorded in the machine's vendor key,
    // when an install may use that folder.
    void LockOnExistingInstallation();
    void Browse();
    void UseChosenDrive();
    // The installation-folder rule, the overwrite question and the creation; false when the
    // page must not hand over.
    bool PrepareFolder();
    void ShowNotCreated(const wchar_t* folder);
    void ShowDestination();
};
