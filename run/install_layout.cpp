// The links of the Start-menu group, and the places of one package.
#include "run/install_layout.h"

#include <windows.h>
#include <shlobj.h>

#include "payload/records.h"
#include "run/folders.h"
#include "run/install_folder.h"
#include "support/bounded_text.h"
#include "support/path.h"

const LinkText kConfigLinks[6] = {
    {L"1.系统设置.lnk", kConfigProgramFile, L"/n '%s'", L"%s 输入法使用配置程序"},
    {L"2.码表管理.lnk", kConfigProgramFile, L"/n '%s' /do mabiaoguanli", L"%s 输入法码表管理"},
    {L"3.添加用户词.lnk", kConfigProgramFile, L"/n '%s' /do tianjiayonghuci", L"%s 输入法用户词添加"},
    {L"4.按键功能定义.lnk", kConfigProgramFile, L"/n '%s' /do anjianshezhi", L"%s 输入法按键功能设置"},
    {L"5.构词规则.lnk", kConfigProgramFile, L"/n '%s' /do gouciguize", L"%s 输入法构词规则定义"},
    {L"6.帮助文件.lnk", kHelpFile, nullptr, L"%s软件详细帮助文档"},
};
const LinkText kUninstallerLinks[3] = {
    {L"检查更新.lnk", kUninstallerFile, L"-g name=[%s]", L"%s自动更新系统"},
    {L"修复安装.lnk", kUninstallerFile, L"-r name=[%s]", L"%s软件修复系统"},
    {L"卸载软件.lnk", kUninstallerFile, L"-u name=[%s]", L"%s卸载程序"},
};

void GroupFolderOf(wchar_t* out, const wchar_t* programs, const wchar_t* packageName) {
    JoinPath(out, kPathChars, programs, packageName, L"\\");
}

void DesktopLinkOf(wchar_t* out, const wchar_t* desktop, const wchar_t* packageName) {
    wchar_t name[kPathChars];
    FormatCut(name, kPathChars, L"%s%s", packageName, kConfigLinks[0].link);
    JoinPath(out, kPathChars, desktop, name);
}

namespace {

std::wstring ShellFolder(int csidl) {
    wchar_t folder[MAX_PATH];
    return GetShellFolder(csidl, folder) ? folder : L"";
}

}  // namespace

bool GetInstallPlaces(const wchar_t* packageName, const wchar_t* installFolder, InstallPlaces& places) {
    wchar_t folder[kPathChars];
    if (CheckInstallFolder(installFolder, folder) != FolderVerdict::kUsable) return false;
    wchar_t module[kModuleKeyChars];
    if (!FormatModuleKey(module, packageName)) return false;
    places.installFolder = folder;
    places.imeFile = module;
    wchar_t path[kPathChars];
    places.system = GetSystemFolderOnDisk(path) ? path : L"";
    places.windows = ShellFolder(CSIDL_WINDOWS);
    places.fonts = ShellFolder(CSIDL_FONTS);
    places.data = GetPackageDataFolder(path, packageName) ? path : L"";
    const std::wstring programs = ShellFolder(CSIDL_COMMON_PROGRAMS);
    if (!programs.empty()) GroupFolderOf(path, programs.c_str(), packageName);
    places.group = programs.empty() ? L"" : path;
    const std::wstring desktop = ShellFolder(CSIDL_DESKTOPDIRECTORY);
    if (!desktop.empty()) DesktopLinkOf(path, desktop.c_str(), packageName);
    places.desktopLink = desktop.empty() ? L"" : path;
    places.temp = GetTempPathW(kPathChars, path) ? path : L"";
    VendorKeyOf(packageName, path, kPathChars);
    places.vendorKey = path;
    JoinPath(path, kUninstallKey, packageName);
    places.entryKey = path;
    return true;
}
