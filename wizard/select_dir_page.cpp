// The destination page: the folder to install into, the room it needs, the drives with room.
#include "wizard/select_dir_page.h"

#include <shlobj.h>

#include "run/folders.h"
#include "run/install_folder.h"
#include "run/run_state.h"
#include "framework/controls.h"
#include "framework/handles.h"
#include "framework/message_box.h"
#include "install/install_defaults.h"
#include "res/resource.h"
#include "support/bounded_text.h"
#include "support/path.h"
#include "wizard/licence_page.h"
#include "wizard/progress_page.h"

namespace {

constexpr ULONGLONG kMB = 1024 * 1024;

// "<path>\<name>\", one backslash between whatever path ends with.
void AppendPackageFolder(wchar_t* path, const wchar_t* name) {
    wchar_t base[kPathChars];
    CopyCut(base, path);
    JoinPath(path, kPathChars, base, name, L"\\");
}

}  // namespace

bool DriveHasRoom(ULONGLONG freeBytes, unsigned requiredMB) {
    const ULONGLONG kMarginMB = 200;  // room the drive must keep beyond the software itself
    return freeBytes > (requiredMB + kMarginMB) * kMB;
}

CSR_Install_SelectDir::CSR_Install_SelectDir(RunContext& run) : WizardPage(IDD_SELECT_DIR, run) {}

BOOL CSR_Install_SelectDir::OnPageInit() {
    // Three times what the work folder holds: the payload, its unpacked files and the backup.
    const unsigned requiredMB = 3 * GetFolderSizeKB(&m_run.state, nullptr) / 1024;
    ShowRequiredSize(requiredMB);
    ListDrives(requiredMB);
    // Each visit proposes the default again; a folder typed before is not kept.
    DefaultInstallFolder(m_run.wizard.destination, m_run.package.name);
    LockOnExistingInstallation();
    ShowDestination();
    return TRUE;
}

void CSR_Install_SelectDir::ShowRequiredSize(unsigned requiredMB) {
    wchar_t text[200];
    FormatCut(text, 200, L"这里指定一个安装目录.软件需要大约 %d MB的磁盘空间", requiredMB);
    Item(IDC_SIZE_TEXT).SetText(text);
}

// From C: on; the list ends at the first letter without a readable drive (no drive, or a
// removable one without a medium), and A: and B: are never looked at.
void CSR_Install_SelectDir::ListDrives(unsigned requiredMB) {
    fw::ListBox drives(Item(IDC_DRIVES).Handle());
    for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
        wchar_t root[4];
        FormatCut(root, 4, L"%c:\\", letter);
        ULARGE_INTEGER available, total, freeBytes;
        if (!GetDiskFreeSpaceExW(root, &available, &total, &freeBytes)) return;
        if (!DriveHasRoom(freeBytes.QuadPart, requiredMB)) continue;
        wchar_t line[128];
        FormatCut(line, 128, L"磁盘%c:               总大小:%dMB               剩余大小:%dMB", letter,
                  static_cast<int>(total.QuadPart / kMB), static_cast<int>(freeBytes.QuadPart / kMB));
        drives.AddString(line);
    }
}

void CSR_Install_SelectDir::LockOnExistingInstallation() {
    wchar_t installed[kPathChars];
    if (!RecordedInstallFolder(m_run.package.name, installed)) return;
    // Moving an installation is not offered: it is uninstalled first.
    CopyCut(m_run.wizard.destination, installed);
    Item(IDC_DESTINATION).Enable(false);
    Item(IDC_BROWSE).Enable(false);
    Item(IDC_DRIVES).Enable(false);
    Item(IDC_INSTALLED_NOTE).SetText(L"当前计算机存在一个已经安装的副本，如需更改安装目录请先卸载以往版本。");
}

void CSR_Install_SelectDir::ShowDestination() { Item(IDC_DESTINATION).SetText(m_run.wizard.destination); }

bool CSR_Install_SelectDir::OnCommand(WORD code, WORD id, HWND control) {
    if (id == IDC_DRIVES && code == LBN_SELCHANGE) {
        UseChosenDrive();
        return true;
    }
    if (code == BN_CLICKED && id == IDC_BROWSE) {
        Browse();
        return true;
    }
    if (code == BN_CLICKED && id == IDC_BACK) {
        CSR_Install_Licence licence(m_run);
        HandOver(licence);
        return true;
    }
    return WizardPage::OnCommand(code, id, control);
}

void CSR_Install_SelectDir::Browse() {
    BROWSEINFOW info = {};
    info.hwndOwner = m_hwnd;
    info.pszDisplayName = m_run.wizard.destination;
    info.lpszTitle = L"请选择安装目录...";
    info.ulFlags = BIF_SHAREABLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return;
    const BOOL isPath = SHGetPathFromIDListW(chosen, m_run.wizard.destination);
    CoTaskMemFree(chosen);
    if (!isPath) return;
    AppendPackageFolder(m_run.wizard.destination, m_run.package.name);
    ShowDestination();
}

// Only the drive changes; the rest of the proposed path stays.
void CSR_Install_SelectDir::UseChosenDrive() {
    fw::ListBox drives(Item(IDC_DRIVES).Handle());
    const int chosen = drives.GetCurSel();
    if (chosen < 0) return;
    const std::wstring line = drives.GetItemText(chosen);  // "磁盘X:..."
    if (line.size() < 3) return;
    m_run.wizard.destination[0] = line[2];
    ShowDestination();
}

void CSR_Install_SelectDir::OnOK() {
    // Taken as typed, once the installation-folder rule lets it be used.
    GetDlgItemTextW(m_hwnd, IDC_DESTINATION, m_run.wizard.destination, kPathChars);
    if (!PrepareFolder()) return;
    CSR_Install_Begain progress(m_run);
    HandOver(progress);
}

bool CSR_Install_SelectDir::PrepareFolder() {
    const wchar_t* folder = m_run.wizard.destination;
    wchar_t normalised[kPathChars];
    switch (CheckInstallFolder(folder, normalised)) {
    case FolderVerdict::kUsable:
        break;
    case FolderVerdict::kNotFull:
        fw::ShowError(m_hwnd, L"请输入完整的安装目录，例如 C:\\Program Files\\输入法\\", L"安装错误？");
        return false;
    case FolderVerdict::kRefused:
        // Nothing can be installed where the uninstall would not be let to remove it.
        ShowNotCreated(folder);
        return false;
    }
    if (GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES) {
        if (!fw::AskYesNo(m_hwnd, L"所选安装目录已经存在，如果继续，安装程序将覆盖当前目录？", L"是否继续？")) {
            EndDialog(IDCANCEL);
            return false;
        }
        // The package data of an earlier installation goes; the folder itself is overwritten later.
        wchar_t data[kPathChars];
        if (GetPackageDataFolder(data, m_run.package.name)) RemoveFolder(data);
    }
    // One level only; a missing parent is the user's to fix, told by the box below.
    CreateDirectoryW(folder, nullptr);
    // It keeps the list it inherits (read and run for users, as under the program-files
    // folder): Unstall.exe and the backup there are run and installed elevated.
    if (GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES) return true;
    ShowNotCreated(folder);
    return false;
}

void CSR_Install_SelectDir::ShowNotCreated(const wchar_t* folder) {
    wchar_t text[kPathChars + 64];
    FormatCut(text, kPathChars + 64, L"所选安装目录:\r\n%s\r\n未能创建，请确定您的当前用户对该目录的访问权限！", folder);
    fw::ShowError(m_hwnd, text, L"安装错误？");
}
