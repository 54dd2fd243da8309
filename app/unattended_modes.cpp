// Unattended uninstall and repair.
#include "app/unattended_modes.h"

#include "app/startup.h"
#include "app/unattended_install.h"
#include "install/installed_package.h"
#include "install/progress_log.h"
#include "install/repair.h"
#include "install/uninstall_sequence.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

constexpr wchar_t kNoBackupLine[] = L"安装数据文件不存在或者已经损坏,修复程序无法运行.";

int Finished(const InstallContext& context) { return context.restartNeeded ? kExitRestartNeeded : kExitInstalled; }

}  // namespace

int RunUnattendedUninstall(RunContext& run) {
    const UNATTENDED& switches = run.switches;
    ProgressLog log(switches.logPath);
    if (log.Refused()) return kExitBadSwitch;
    InstallContext context(run.state, &log, false);
    context.installed = &run.installed;
    const wchar_t* name = run.installed.packageName;
    if (!IsPlainPackageName(name)) return kExitBadSwitch;
    if (!ModuleFreeUnattended(name, switches, context)) return kExitInUse;
    if (!RunUninstall(context)) return kExitFailed;
    return Finished(context);
}

int RunUnattendedRepair(RunContext& run) {
    const UNATTENDED& switches = run.switches;
    ProgressLog log(switches.logPath);
    if (log.Refused()) return kExitBadSwitch;
    InstallContext context(run.state, &log, false);
    const INSTALLEDPACKAGE& package = run.installed;
    if (!IsPlainPackageName(package.packageName)) return kExitBadSwitch;
    if (!ModuleFreeUnattended(package.packageName, switches, context)) return kExitInUse;

    wchar_t userName[kRecordedNameChars], companyName[kRecordedNameChars];
    ReadRecordedNames(package.packageName, userName, companyName);
    switch (RunRepair(context, package, userName, companyName)) {
    case RepairOutcome::kRepaired:
        return Finished(context);
    case RepairOutcome::kStepFailed:
        return kExitFailed;
    case RepairOutcome::kNoBackup:
        break;
    }
    ReportProgress(context, -1, kNoBackupLine);
    return kExitBadPackage;
}

bool IsInstallationsOwnUninstaller(const wchar_t* arguments, const wchar_t* ownPath) {
    RUNSTATE state{};
    INSTALLEDPACKAGE package{};
    CopyCut(state.commandLine, arguments);
    ParseCommandLine(state, package);
    wchar_t folder[kPathChars];
    if (state.mode != kModeUninstall || !IsPlainPackageName(package.packageName) || !InstalledFolder(package, folder)) {
        return false;
    }
    wchar_t own[kPathChars];
    CopyCut(own, ownPath);
    wchar_t* slash = wcsrchr(own, L'\\');
    if (!slash) return false;
    slash[1] = 0;
    return SamePath(own, folder);
}
