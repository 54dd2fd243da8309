// Step 2 of the install and its uninstall counterpart: the vendor key, the system IME file and
// the keyboard layout that the system registers for it.
#include "install/install_steps.h"

#include <imm.h>

#include <cwchar>
#include <vector>

#include "framework/handles.h"
#include "run/folders.h"
#include "run/install_layout.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

const wchar_t* const kLayoutKeys[] = {kKeyboardLayoutsKey, kSavedKeyboardLayoutsKey};
constexpr int kHexChars = 20;     // a layout handle in "%X"
constexpr int kLineChars = 320;   // a reported line: a path and its wording

// Sets "SMEInstallPath" under Software\vexal\<name> of one hive. The owners tell only whether
// a key could be had, so a key that cannot is reported as ERROR_CANTOPEN.
LONG WriteInstallPathUnder(HKEY hive, const wchar_t* subkey, const wchar_t* folder, const wchar_t* packageName,
                           ChangeRecorder& recorder) {
    wchar_t key[80];
    VendorKeyOf(packageName, key, 80);
    if (!recorder.BeforeKeyCreate(hive, key) || !recorder.BeforeValueWrite(hive, key, kInstallPathValue)) {
        return ERROR_CANTOPEN;
    }
    fw::RegKey vendor, package;
    if (!vendor.Create(hive, kVendorKey, KEY_ALL_ACCESS)) return ERROR_CANTOPEN;
    if (!package.Create(vendor.Get(), subkey, KEY_ALL_ACCESS)) return ERROR_CANTOPEN;
    return RegSetValueExW(package.Get(), kInstallPathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                          static_cast<DWORD>(wcslen(folder) * sizeof(wchar_t)));
}

// "<system folder>\<fileName>", the folder by its name on disk: the deletion of a file in use
// at the next restart must name the folder the file really lies in.
void SystemFilePath(wchar_t (&path)[kPathChars], const wchar_t* fileName) {
    wchar_t system[kPathChars] = {};
    if (!GetSystemFolderOnDisk(system)) system[0] = 0;
    JoinPath(path, system, fileName);
}

// The part of a path after its last backslash; the path itself when it has none.
const wchar_t* FileNamePart(const wchar_t* path) {
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

// Deletes the first Preload value whose text is hex; Windows enters one there when it loads
// the layout for the user.
void RemovePreloadValue(const wchar_t* hex) {
    fw::RegKey preload;
    if (!preload.Open(HKEY_CURRENT_USER, kPreloadKey, KEY_ALL_ACCESS)) return;
    const size_t hexLength = wcslen(hex);
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        wchar_t data[kPathChars] = {};
        DWORD nameChars = sizeof name / sizeof name[0];
        DWORD dataBytes = sizeof data;
        if (RegEnumValueW(preload.Get(), index, name, &nameChars, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                          &dataBytes) != ERROR_SUCCESS) {
            return;
        }
        // The data may or may not count its terminator; it is compared by its length.
        size_t length = dataBytes / sizeof(wchar_t);
        while (length && data[length - 1] == 0) --length;
        if (length == hexLength && _wcsnicmp(data, hex, length) == 0) {
            RegDeleteValueW(preload.Get(), name);
            return;
        }
    }
}

// Deletes every subkey of a "Keyboard Layouts" key named hex (any case).
void RemoveLayoutKey(const wchar_t* layoutsKey, const wchar_t* hex) {
    fw::RegKey layouts;
    if (!layouts.Open(HKEY_LOCAL_MACHINE, layoutsKey, KEY_ALL_ACCESS)) return;
    wchar_t name[64];
    // The index goes on after a deletion too: the names are unique, so nothing is missed.
    for (DWORD index = 0; RegEnumKeyW(layouts.Get(), index, name, sizeof name / sizeof name[0]) == ERROR_SUCCESS;
         ++index) {
        if (_wcsicmp(name, hex) == 0) RegDeleteKeyW(layouts.Get(), name);
    }
}

}  // namespace

// Both hives, HKEY_LOCAL_MACHINE first; the status of the last one.
int WriteInstallPath(InstallContext& context) {
    // "%s\" in 40 units: a name of 39 characters loses the backslash, which names the same key.
    wchar_t subkey[kNameChars];
    FormatCut(subkey, kNameChars, L"%s\\", PackageOf(context).name);
    const wchar_t* name = PackageOf(context).name;
    WriteInstallPathUnder(HKEY_LOCAL_MACHINE, subkey, context.installFolder, name, *context.journal);
    return WriteInstallPathUnder(HKEY_CURRENT_USER, subkey, context.installFolder, name, *context.journal);
}

// Copies "<installation folder><name>.ime" into the system folder as "<name>(1).ime", deletes
// the original and registers the copy; 1 on success, else 0 after one reported line.
int RegisterIme(InstallContext& context) {
    const PACKAGECONFIG& package = PackageOf(context);
    wchar_t name[kNameChars];
    CopyCut(name, package.name);
    // Empty for a name that the record's load refuses; the copy then fails and says so.
    wchar_t fileName[kModuleKeyChars];
    FormatModuleKey(fileName, name);
    wchar_t target[kPathChars];
    SystemFilePath(target, fileName);
    wchar_t source[kPathChars];
    JoinPath(source, context.installFolder, name, L".ime");

    // Unlike every other file of the installation, the system IME file is not opened to
    // "Users": every process loads it, so write access for any user would be a way to run
    // code in elevated processes. It keeps the system folder's access list.
    // A system IME file that is held cannot be put back if the run fails, so it is not
    // written over either: the copy fails as it would while the file is in use.
    if (!MayWriteFile(*context.journal, target) || !CopyFileW(source, target, FALSE)) {
        wchar_t line[kLineChars];
        FormatCut(line, kLineChars, L"复制IME文件到系统目录发生错误，复制文件路径：%s", source);
        ReportProgress(context, -1, line);
        return 0;
    }
    DeleteFileW(source);

    wchar_t layoutText[sizeof package.layoutText / sizeof package.layoutText[0]];
    CopyCut(layoutText, package.layoutText);
    if (context.journal->BeforeLayoutRegister(fileName) && ImmInstallIMEW(target, layoutText)) {
        return 1;
    }
    wchar_t line[kLineChars];
    FormatCut(line, kLineChars, L"无法注册输入法：\r\n %s", layoutText);
    ReportProgress(context, -1, line);
    return 0;
}

std::wstring LayoutHex(HKL layout) {
    wchar_t hex[kHexChars];
    FormatCut(hex, kHexChars, L"%X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(layout)));
    return hex;
}

void RemoveImeLayout(HKL layout) {
    const std::wstring hex = LayoutHex(layout);
    RemovePreloadValue(hex.c_str());
    for (const wchar_t* layoutsKey : kLayoutKeys) RemoveLayoutKey(layoutsKey, hex.c_str());
    // Wine 8 does not implement the unloading (ERROR_CALL_NOT_IMPLEMENTED); it lists the
    // layouts from the keys just removed, so the layout is gone from its list all the same.
    UnloadKeyboardLayout(layout);
}

std::vector<std::wstring> RegisteredImeLayouts(const wchar_t* imeFileName) {
    std::vector<std::wstring> found;
    fw::RegKey layouts;
    if (!layouts.Open(HKEY_LOCAL_MACHINE, kLayoutKeys[0], KEY_READ)) return found;
    for (DWORD i = 0;; ++i) {
        wchar_t name[kHexChars];
        DWORD chars = kHexChars;
        const LONG listed = RegEnumKeyExW(layouts.Get(), i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (listed == ERROR_MORE_DATA) continue;  // too long a name for a layout's
        if (listed != ERROR_SUCCESS) break;
        // The key's name in the handle's own text, the form that the undo compares.
        wchar_t* end = nullptr;
        const unsigned long layout = wcstoul(name, &end, 16);
        if (end == name || *end) continue;
        wchar_t file[kPathChars];
        DWORD bytes = sizeof file;
        if (RegGetValueW(layouts.Get(), name, L"Ime File", RRF_RT_REG_SZ, nullptr, file, &bytes) != ERROR_SUCCESS) {
            continue;
        }
        if (!SamePath(FileNamePart(file), imeFileName)) continue;
        found.push_back(LayoutHex(reinterpret_cast<HKL>(static_cast<UINT_PTR>(layout))));
    }
    return found;
}

std::vector<HKL> FindImeLayouts(const wchar_t* imeFileName) {
    std::vector<HKL> found;
    const int count = GetKeyboardLayoutList(0, nullptr);
    if (count <= 0) return found;
    std::vector<HKL> layouts(count);
    const int filled = GetKeyboardLayoutList(count, layouts.data());
    for (int i = 0; i < filled && i < count; ++i) {
        wchar_t file[kPathChars] = {};
        if (!ImmGetIMEFileNameW(layouts[i], file, kPathChars) || !file[0]) continue;
        // Windows keeps the bare file name in "Ime File"; Wine 8 keeps the full path that
        // ImmInstallIMEW was given. The name after the last backslash serves both.
        if (SamePath(FileNamePart(file), imeFileName)) found.push_back(layouts[i]);
    }
    return found;
}

HKL FindImeLayout(const wchar_t* imeFileName) {
    const std::vector<HKL> layouts = FindImeLayouts(imeFileName);
    return layouts.empty() ? nullptr : layouts.front();
}

// Removes, for every layout that uses the file, the Preload value, the layout keys of both
// control sets and the layout; then the system IME file. 0 and nothing touched when no
// loaded layout uses the file. Wine makes a new layout for every registration of the same
// file, so a package that was repaired has more than one.
int RemoveIme(InstallContext& context) {
    const INSTALLEDPACKAGE& package = *context.installed;
    wchar_t fileName[kModuleKeyChars];
    if (!FormatModuleKey(fileName, package.packageName)) return 0;
    const std::vector<HKL> layouts = FindImeLayouts(fileName);
    if (layouts.empty()) return 0;

    for (HKL layout : layouts) RemoveImeLayout(layout);
    DWORD_PTR ignored;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                        reinterpret_cast<LPARAM>(L"HKEY_CURRENT_USER\\Keyboard Layout\\Preload"),
                        SMTO_NOTIMEOUTIFNOTHUNG, 50, &ignored);

    wchar_t path[kPathChars];
    SystemFilePath(path, fileName);
    // A process that still holds the module keeps the file until the next restart.
    if (!DeleteFileW(path) && MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) context.restartNeeded = 1;
    return 1;
}
