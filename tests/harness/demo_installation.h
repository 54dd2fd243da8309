// Removing what an install of the sample package "Demo" put outside a test's scratch folder.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "app/folders.h"
#include "install/install_steps.h"
#include "tests/harness/test_folder.h"

namespace test {

inline void RemoveDemoInstallation() {
    INSTALLEDPACKAGE installed = {};
    wcscpy(installed.packageName, L"Demo");
    InstallContext removal;
    InitInstallContext(removal, nullptr, nullptr);
    removal.packageRecord = &installed;
    RemoveIme(removal);
    DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo");
    DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\vexal\\Demo");
    DeleteRegTree(HKEY_CURRENT_USER, L"Software\\vexal\\Demo");
    wchar_t folder[MAX_PATH];
    if (GetPackageDataFolder(folder, L"Demo")) RemoveTree(folder);
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, folder))) {
        RemoveTree(std::wstring(folder) + L"\\Demo");
    }
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, folder))) {
        DeleteFileW((std::wstring(folder) + L"\\Demo1.系统设置.lnk").c_str());
    }
    GetSystemDirectoryW(folder, MAX_PATH);
    DeleteFileW((std::wstring(folder) + L"\\Demo(1).ime").c_str());
}

}  // namespace test
