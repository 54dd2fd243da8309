// The unattended install: the wizard's work without its windows, its lines in the log and
// its outcome in the exit code.
#include "app/unattended_install.h"

#include <string>

#include "guard/process_finder.h"
#include "install/install_defaults.h"
#include "install/install_sequence.h"
#include "install/progress_log.h"
#include "support/bounded_text.h"

// Termination is asynchronous, so the list is taken again a few times before the module
// counts as still in use.
bool ModuleFreeUnattended(const wchar_t* packageName, const UNATTENDED& switches, InstallContext& context) {
    wchar_t key[kModuleKeyChars];
    if (!FormatModuleKey(key, packageName)) return true;  // no package, no module (as ModuleIsFree)
    ProcessFinder finder;
    int holders = finder.CheckLoaded(key);
    for (int attempt = 0; holders > 0 && switches.forceClose && attempt < 10; ++attempt) {
        for (const ProcessEntry& entry : finder.Entries()) {
            ReportProgress(context, -1, (L"结束进程 " + HolderLine(entry, false)).c_str());
        }
        holders = finder.EndAllHolders();
        if (holders > 0) Sleep(200);
    }
    if (holders == 0) return true;
    for (const ProcessEntry& entry : finder.Entries()) {
        ReportProgress(context, -1, (L"输入法模块正被使用: " + HolderLine(entry, false)).c_str());
    }
    return false;
}

int RunUnattendedInstall(bool prepared, RunContext& run) {
    const UNATTENDED& switches = run.switches;
    const PACKAGECONFIG& config = run.package;
    ProgressLog log(switches.logPath);
    if (log.Refused()) return kExitBadSwitch;
    InstallContext context(run.state, &log, false);
    context.package = &config;

    if (!prepared) {
        ReportProgress(context, -1, L"安装程序由于意外而中止进行.");
        return kExitBadPackage;
    }
    if (!ModuleFreeUnattended(config.name, switches, context)) return kExitInUse;

    wchar_t folder[kPathChars] = {};
    // Like the destination page: over an installation, into its folder, not into a second copy.
    if (switches.folder[0]) CopyCut(folder, switches.folder);
    else if (!RecordedInstallFolder(config.name, folder)) DefaultInstallFolder(folder, config.name);
    wchar_t userName[kRegisteredNameChars] = {}, companyName[kRegisteredNameChars] = {};
    CopyCut(userName, kRegisteredNameChars, switches.userName);
    CopyCut(companyName, kRegisteredNameChars, switches.companyName);
    ReadRegisteredNames(userName, companyName);

    if (!RunInstall(context, folder, userName, companyName)) return kExitFailed;
    return context.restartNeeded ? kExitRestartNeeded : kExitInstalled;
}
