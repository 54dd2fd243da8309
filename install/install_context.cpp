// Building the context of a run and reporting into its owner's controls.
#include "install/install_context.h"

#include <commctrl.h>

#include "install/progress_log.h"
#include "res/resource.h"

void InitInstallContext(InstallContext& context, HWND owner, PACKAGECONFIG* record) {
    context.owner = owner;
    context.details = owner ? GetDlgItem(owner, IDC_DETAILS) : nullptr;
    context.progress = owner ? GetDlgItem(owner, IDC_PROGRESS) : nullptr;
    context.currentOperation = owner ? GetDlgItem(owner, IDC_STATE_TEXT) : nullptr;
    context.runState = g_runState;
    context.restartNeeded = 0;
    context.position = 0;
    context.packageRecord = record;
    context.installFolder[0] = 0;
    context.log = nullptr;
}

void ReportProgress(InstallContext& context, int position, const wchar_t* line) {
    if (position >= 0) {
        context.position = position;
        if (context.progress) SendMessageW(context.progress, PBM_SETPOS, position, 0);
    }
    if (!line) return;
    if (context.details) {
        LRESULT index = SendMessageW(context.details, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
        SendMessageW(context.details, LB_SETCURSEL, index, 0);
    }
    if (context.log) context.log->Write(line);
}
