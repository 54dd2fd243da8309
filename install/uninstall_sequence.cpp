// The uninstall sequence: seven lines, every step attempted once the recorded folder is confirmed.
#include "install/uninstall_sequence.h"

#include <cwchar>

#include "framework/handles.h"
#include "install/install_sequence.h"
#include "install/install_steps.h"
#include "install/installed_package.h"
#include "run/folders.h"
#include "run/install_layout.h"
#include "support/bounded_text.h"
#include "support/path.h"
#include "support/system_library.h"

namespace {

// The input method's own module; the call asks its interface to let go of its files.
// A module that is missing, or lacks the export, is passed over; folder is the confirmed
// installation folder, so the path is never a relative one.
void ShutDownInterface(const wchar_t* folder) {
    wchar_t path[kPathChars];
    JoinPath(path, folder, kInterfaceModule);
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return;
    // Its own neighbours in ITF\ still resolve; everything else it needs only from the system
    // folder, never from the folder that the program or the user started in.
    const DWORD search = HasDllSearchFlags() ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                                             : LOAD_WITH_ALTERED_SEARCH_PATH;
    LoadedLibrary module;
    LRESULT(WINAPI* message)(DWORD, DWORD, DWORD, DWORD);
    if (module.Load(path, search) && module.Bind("SRInterfaceMessage", message)) message(0, 7, 0, 0);
}

// The package's subkey under `parent` of one hive, with whatever it holds; the parent stays.
void DeletePackageKey(HKEY hive, const wchar_t* parent, const wchar_t* name) {
    fw::RegKey key;
    if (!key.Open(hive, parent, KEY_ALL_ACCESS)) return;
    RegDeleteTreeW(key.Get(), name);
}

}  // namespace

int RunUninstall(InstallContext& context) {
    const INSTALLEDPACKAGE& package = *context.installed;
    wchar_t folder[kPathChars];
    ReportProgress(context, 0, L"开始卸载...");
    // Without a folder that is surely the installation's, removing the entry, the keys and the
    // links would leave its files behind with nothing left to uninstall them.
    if (!IsPlainPackageName(package.packageName) || !InstalledFolder(package, folder)) {
        ReportProgress(context, -1, L"  卸载已中止：记录的安装目录无法确认，未删除任何文件和注册表信息.");
        return 0;
    }

    // What a killed install or repair of the package half did is put back before it goes.
    FinishLeftJournals(context, package.packageName);

    ReportProgress(context, 5, L"  1.卸载输入接口...");
    ShutDownInterface(folder);

    ReportProgress(context, 20, L"  2.删除文件系统...");
    RemoveFolder(folder);
    wchar_t data[kPathChars];
    if (GetPackageDataFolder(data, package.packageName)) RemoveFolder(data);

    ReportProgress(context, 60, L"  4.删除注册表信息...");
    DeletePackageKey(HKEY_LOCAL_MACHINE, kUninstallKey, package.packageName);
    DeletePackageKey(HKEY_LOCAL_MACHINE, kVendorKey, package.packageName);
    DeletePackageKey(HKEY_CURRENT_USER, kVendorKey, package.packageName);

    ReportProgress(context, 80, L"  5.卸载输入法...");
    RemoveIme(context);

    ReportProgress(context, 90, L"  6.删除快捷方式...");
    RemoveShortcuts(package.packageName);

    ReportProgress(context, 100, L"  7.卸载完成.");
    return 1;
}
