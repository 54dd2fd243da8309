// Start-up and mode dispatch: prepare the work folder, relaunch from the working copy,
// read the command line, run exactly one modal dialog, clean up.
#include "app/application.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "app/folders.h"
#include "app/startup.h"
#include "install/repair_dialog.h"
#include "support/bounded_text.h"
#include "update/update_dialog.h"
#include "wizard/error_page.h"
#include "wizard/uninstall_dialog.h"
#include "wizard/welcome_page.h"

namespace {

template <class T>
T* AllocateRecord() {
    return static_cast<T*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(T)));
}

template <class T>
void ReleaseRecord(T*& record) {
    if (record) HeapFree(GetProcessHeap(), 0, record);
    record = nullptr;
}

// The arguments of the process's command line, without the program's name.
const wchar_t* ProcessArguments() {
    const wchar_t* p = GetCommandLineW();
    bool quoted = false;
    for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p) {
        if (*p == L'"') quoted = !quoted;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

template <class D>
void RunAsMainWindow(fw::Application& app, D& dialog) {
    app.SetMainWindow(&dialog);
    dialog.DoModal(nullptr);
    app.SetMainWindow(nullptr);
}

}  // namespace

BOOL CSR_Install_BaseApp::InitInstance() {
    g_runState = AllocateRecord<RUNSTATE>();
    g_installedPackage = AllocateRecord<INSTALLEDPACKAGE>();
    g_packageConfig = AllocateRecord<PACKAGECONFIG>();
    if (!g_runState || !g_installedPackage || !g_packageConfig) return TRUE;

    PrepareWorkFolder(g_runState);
    GetModuleFileNameW(nullptr, g_runState->ownPath, kPathChars);
    g_runState->ownPath[kPathChars - 1] = 0;

    if (EnsureWorkingCopy(ProcessArguments())) {
        ParseCommandLine();
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
        InitCommonControlsEx(&controls);
        // ActiveX hosting for the licence page's browser control.
        OleInitialize(nullptr);
        RunMode();
        OleUninitialize();
    }

    EmptyFolder(g_runState->workFolder);
    ReleaseRecord(g_runState);
    ReleaseRecord(g_installedPackage);
    ReleaseRecord(g_packageConfig);
    return TRUE;
}

void CSR_Install_BaseApp::RunMode() {
    switch (g_runState->mode) {
    case kModeUninstall: {
        CCSR_Uninstall dialog;
        RunAsMainWindow(*this, dialog);
        DeleteSelf();
        return;
    }
    case kModeRepair: {
        CSR_Repair dialog;
        RunAsMainWindow(*this, dialog);
        DeleteSelf();
        return;
    }
    case kModeUpdate: {
        CSR_AutoUpdateDlg dialog;
        dialog.SetPackageName(g_installedPackage->packageName);
        RunAsMainWindow(*this, dialog);
        DeleteSelf();
        return;
    }
    default:
        break;
    }
    RUNSTATE& state = *g_runState;
    bool prepared = SplitInstaller(state) && ExtractPayload(state) && HasInstallInfo(state);
    if (prepared) {
        wchar_t installInfo[kPathChars];
        InstallInfoPath(state, installInfo);
        prepared = LoadPackageConfig(installInfo, *g_packageConfig);
    }
    if (prepared) {
        CSR_Install_BaseDlg welcome;
        RunAsMainWindow(*this, welcome);
    } else {
        CSR_InstallError error;
        RunAsMainWindow(*this, error);
    }
}
