// The repair run: the backup unpacked as start-up unpacks an installer's payload, then the
// whole install sequence again.
#include "install/repair.h"

#include "run/payload_prep.h"
#include "framework/handles.h"
#include "install/install_defaults.h"
#include "install/install_sequence.h"
#include "install/installed_package.h"
#include "support/bounded_text.h"
#include "run/install_layout.h"
#include "support/path.h"

namespace {

// The whole value, however long: a name that the welcome page stored must come back as it was
// typed, not be taken for missing and replaced by the registered owner.
void ReadString(HKEY key, const wchar_t* value, wchar_t* field) {
    DWORD bytes = 0;
    if (RegQueryValueExW(key, value, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS) return;
    // Zero-filled, with room for the terminator that the stored text does not count.
    fw::HeapBlock text(bytes + sizeof(wchar_t));
    if (!text.Get() || RegQueryValueExW(key, value, nullptr, nullptr, text.As<BYTE>(), &bytes) != ERROR_SUCCESS) {
        return;
    }
    CopyCut(field, kRecordedNameChars, text.As<wchar_t>());
}

}  // namespace

bool ReadableBackup(const INSTALLEDPACKAGE& package, wchar_t (&path)[kPathChars]) {
    wchar_t folder[kPathChars];
    path[0] = 0;
    if (!InstalledFolder(package, folder)) return false;
    JoinPath(path, folder, kBackupFile);
    fw::UniqueHandle file(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid();
}

void ReadRecordedNames(const wchar_t* packageName, wchar_t* userName, wchar_t* companyName) {
    userName[0] = companyName[0] = 0;
    fw::RegKey uninstall, entry;
    if (IsPlainPackageName(packageName) && uninstall.Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_READ) &&
        entry.Open(uninstall.Get(), packageName, KEY_READ)) {
        ReadString(entry.Get(), kRecordedOwnerValue, userName);
        ReadString(entry.Get(), kRecordedCompanyValue, companyName);
    }
    ReadRegisteredNames(userName, companyName);
}

RepairOutcome RunRepair(InstallContext& context, const INSTALLEDPACKAGE& package, const wchar_t* userName,
                        const wchar_t* companyName) {
    RUNSTATE& state = context.runState;
    wchar_t folder[kPathChars];
    if (!IsPlainPackageName(package.packageName) || !ReadableBackup(package, state.payloadFile) ||
        !InstalledFolder(package, folder)) {
        return RepairOutcome::kNoBackup;
    }
    if (!ExtractPayload(state) || !HasInstallInfo(state)) return RepairOutcome::kNoBackup;

    wchar_t installInfo[kPathChars];
    InstallInfoPath(state, installInfo);
    fw::HeapBlock record(sizeof(PACKAGECONFIG));
    PACKAGECONFIG* config = record.As<PACKAGECONFIG>();
    if (!config || !LoadPackageConfig(installInfo, *config)) return RepairOutcome::kNoBackup;
    // The backup of another package would install under its own name and leave this one's
    // entry pointing at a folder that no longer matches it.
    if (_wcsicmp(config->name, package.packageName) != 0) return RepairOutcome::kNoBackup;

    context.package = config;
    const int installed = RunInstall(context, folder, userName, companyName);
    context.package = nullptr;
    return installed ? RepairOutcome::kRepaired : RepairOutcome::kStepFailed;
}
