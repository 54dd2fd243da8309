// Start-up and mode dispatch: prepare the work folder, relaunch from the working copy,
// read the command line, run exactly one modal dialog, clean up.
#include "app/application.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "run/folders.h"
#include "app/single_instance.h"
#include "app/unattended_install.h"
#include "app/unattended_modes.h"
#include "framework/message_box.h"
#include "app/startup.h"
#include "app/unattended.h"
#include "run/payload_prep.h"
#include "wizard/repair_dialog.h"
#include "support/bounded_text.h"
#include "support/system_library.h"
#include "update/update_dialog.h"
#include "wizard/error_page.h"
#include "wizard/uninstall_dialog.h"
#include "wizard/welcome_page.h"

namespace {

// The run context lives from the start of InitInstance to its end, zero-filled at first.
class RunContextOwner {
public:
    RunContextOwner() : m_run(static_cast<RunContext*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RunContext)))) {}
    ~RunContextOwner() { if (m_run) HeapFree(GetProcessHeap(), 0, m_run); }
    RunContextOwner(const RunContextOwner&) = delete;
    RunContextOwner& operator=(const RunContextOwner&) = delete;
    RunContext* Get() const { return m_run; }

private:
    RunContext* m_run;
};

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

// The common controls, loaded only for a run that shows windows: an unattended install,
// repair or uninstall creates none, and under Wine their first use also starts the desktop
// process. COM is set up for every run: the shortcut step and the browser control use it.
class RunLibraries {
public:
    explicit RunLibraries(bool windows) {
        if (windows) {
            using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
            InitFunction init = nullptr;
            // By its bare name: the manifest's dependency maps it to version 6.
            if (m_commonControls.LoadSystem(L"comctl32.dll") && m_commonControls.Bind("InitCommonControlsEx", init)) {
                INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
                init(&controls);
            }
        }
        // ActiveX hosting for the licence page's browser control.
        m_ole = SUCCEEDED(OleInitialize(nullptr));
    }
    ~RunLibraries() {
        if (m_ole) OleUninitialize();
    }
    RunLibraries(const RunLibraries&) = delete;
    RunLibraries& operator=(const RunLibraries&) = delete;

private:
    LoadedLibrary m_commonControls;
    bool m_ole = false;
};

template <class D>
void RunAsMainWindow(fw::Application& app, D& dialog) {
    app.SetMainWindow(&dialog);
    dialog.DoModal(nullptr);
    app.SetMainWindow(nullptr);
}

}  // namespace

void CSR_Install_BaseApp::SetStartingFolder(const wchar_t* folder) { CopyCut(m_startingFolder, folder); }

BOOL CSR_Install_BaseApp::InitInstance() {
    RunContextOwner owner;
    if (!owner.Get()) return TRUE;
    RunContext& run = *owner.Get();
    UNATTENDED& switches = run.switches;
    CopyCut(run.startingFolder, m_startingFolder);
    const wchar_t* arguments = ProcessArguments();
    ParseUnattendedSwitches(arguments, switches, run.startingFolder);
    if (switches.silent && switches.malformed) {
        SetExitCode(kExitBadSwitch);
        return TRUE;
    }
    CopyCut(run.wizard.destination, kFirstDestination);
    RUNSTATE& state = run.state;
    GetModuleFileNameW(nullptr, state.ownPath, kPathChars);
    state.ownPath[kPathChars - 1] = 0;

    // Before the work folder is touched. An unattended starter holds the lock for its
    // working copy while it waits; an interactive one ends at once, so its copy waits for it.
    SingleInstance lock;
    const bool workingCopy = IsWorkingCopy(state);
    if (!(workingCopy && switches.silent) && !lock.Acquire(workingCopy ? 30000 : 0)) {
        if (switches.silent) SetExitCode(kExitAnotherInstaller);
        else fw::ShowError(nullptr, L"另一个安装程序正在运行，请等待它结束后再运行本程序。", L"初始化错误");
        return TRUE;
    }

    DWORD copyExitCode = kExitFailed;
    // Read before the working copy removes the record that tells where the installation is.
    const bool ownInstallation = switches.silent && !workingCopy &&
                                 IsInstallationsOwnUninstaller(arguments, state.ownPath);
    if (EnsureWorkingCopy(state, arguments, run.startingFolder, switches.silent ? &copyExitCode : nullptr)) {
        ParseCommandLine(state, run.installed);
        // The update always shows its dialog, whatever the switches say.
        RunLibraries libraries(!switches.silent || state.mode == kModeUpdate);
        RunMode(run);
    } else if (switches.silent) {
        SetExitCode(static_cast<int>(copyExitCode));
        // This file was held while the copy ran; it and its then empty folder go now.
        if (ownInstallation && (copyExitCode == kExitInstalled || copyExitCode == kExitRestartNeeded)) {
            wchar_t folder[kPathChars];
            CopyCut(folder, state.ownPath);
            if (wchar_t* slash = wcsrchr(folder, L'\\')) slash[1] = 0;
            DeleteSelf(folder);
        }
    }

    EmptyFolder(state.workFolder);
    return TRUE;
}

void CSR_Install_BaseApp::RunMode(RunContext& run) {
    switch (run.state.mode) {
    case kModeUninstall:
        if (run.switches.silent) {
            SetExitCode(RunUnattendedUninstall(run));
        } else {
            CCSR_Uninstall dialog(run);
            RunAsMainWindow(*this, dialog);
        }
        DeleteSelf();
        return;
    case kModeRepair:
        if (run.switches.silent) {
            SetExitCode(RunUnattendedRepair(run));
        } else {
            CSR_Repair dialog(run);
            RunAsMainWindow(*this, dialog);
        }
        DeleteSelf();
        return;
    case kModeUpdate: {
        CSR_AutoUpdateDlg dialog;
        dialog.SetPackageName(run.installed.packageName);
        RunAsMainWindow(*this, dialog);
        DeleteSelf();
        return;
    }
    default:
        break;
    }
    RUNSTATE& state = run.state;
    bool prepared = SplitInstaller(state) && ExtractPayload(state) && HasInstallInfo(state);
    if (prepared) {
        wchar_t installInfo[kPathChars];
        InstallInfoPath(state, installInfo);
        prepared = LoadPackageConfig(installInfo, run.package);
    }
    if (run.switches.silent) {
        SetExitCode(RunUnattendedInstall(prepared, run));
    } else if (prepared) {
        CSR_Install_BaseDlg welcome(run);
        RunAsMainWindow(*this, welcome);
    } else {
        CSR_InstallError error(run);
        RunAsMainWindow(*this, error);
    }
}
