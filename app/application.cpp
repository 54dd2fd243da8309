// Start-up and mode dispatch: prepare the work folder, relaunch from the working copy,
// read the command line, run exactly one modal dialog, clean up.
#include "app/application.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "app/folders.h"
#include "app/single_instance.h"
#include "app/unattended_install.h"
#include "app/unattended_modes.h"
#include "framework/message_box.h"
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
    static UNATTENDED switches;
    g_unattended = &switches;
    const wchar_t* arguments = ProcessArguments();
    ParseUnattendedSwitches(arguments, switches);
    if (switches.silent && switches.malformed) {
        SetExitCode(kExitBadSwitch);
        return TRUE;
    }

    g_runState = AllocateRecord<RUNSTATE>();
    g_installedPackage = AllocateRecord<INSTALLEDPACKAGE>();
    g_packageConfig = AllocateRecord<PACKAGECONFIG>();
    if (!g_runState || !g_installedPackage || !g_packageConfig) return TRUE;
    GetModuleFileNameW(nullptr, g_runState->ownPath, kPathChars);
    g_runState->ownPath[kPathChars - 1] = 0;

    // Before the work folder is touched. An unattended starter holds the lock for its
    // working copy while it waits; an interactive one ends at once, so its copy waits for it.
    SingleInstance lock;
    const bool workingCopy = wcsstr(g_runState->ownPath, L"___temp.exe") != nullptr;
    if (!(workingCopy && switches.silent) && !lock.Acquire(workingCopy ? 30000 : 0)) {
        if (switches.silent) SetExitCode(kExitAnotherInstaller);
        else fw::ShowError(nullptr, L"另一个安装程序正在运行，请等待它结束后再运行本程序。", L"初始化错误");
        ReleaseRecords();
        return TRUE;
    }

    DWORD copyExitCode = kExitFailed;
    // Read before the working copy removes the record that tells where the installation is.
    const bool ownInstallation = switches.silent && !workingCopy &&
                                 IsInstallationsOwnUninstaller(arguments, g_runState->ownPath);
    if (EnsureWorkingCopy(arguments, switches.silent ? &copyExitCode : nullptr)) {
        ParseCommandLine();
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
        InitCommonControlsEx(&controls);
        // ActiveX hosting for the licence page's browser control.
        OleInitialize(nullptr);
        RunMode();
        OleUninitialize();
    } else if (switches.silent) {
        SetExitCode(static_cast<int>(copyExitCode));
        // This file was held while the copy ran; it and its then empty folder go now.
        if (ownInstallation && (copyExitCode == kExitInstalled || copyExitCode == kExitRestartNeeded)) {
            wchar_t folder[kPathChars];
            CopyCut(folder, g_runState->ownPath);
            if (wchar_t* slash = wcsrchr(folder, L'\\')) slash[1] = 0;
            DeleteSelf(folder);
        }
    }

    EmptyFolder(g_runState->workFolder);
    ReleaseRecords();
    return TRUE;
}

void CSR_Install_BaseApp::ReleaseRecords() {
    ReleaseRecord(g_runState);
    ReleaseRecord(g_installedPackage);
    ReleaseRecord(g_packageConfig);
}

void CSR_Install_BaseApp::RunMode() {
    switch (g_runState->mode) {
    case kModeUninstall:
        if (g_unattended->silent) {
            SetExitCode(RunUnattendedUninstall(*g_unattended));
        } else {
            CCSR_Uninstall dialog;
            RunAsMainWindow(*this, dialog);
        }
        DeleteSelf();
        return;
    case kModeRepair:
        if (g_unattended->silent) {
            SetExitCode(RunUnattendedRepair(*g_unattended));
        } else {
            CSR_Repair dialog;
            RunAsMainWindow(*this, dialog);
        }
        DeleteSelf();
        return;
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
    if (g_unattended->silent) {
        SetExitCode(RunUnattendedInstall(prepared, *g_packageConfig, *g_unattended));
    } else if (prepared) {
        CSR_Install_BaseDlg welcome;
        RunAsMainWindow(*this, welcome);
    } else {
        CSR_InstallError error;
        RunAsMainWindow(*this, error);
    }
}
