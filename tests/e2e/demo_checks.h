// What an install of the sample package leaves behind, checked the same way whichever road
// (unattended or through the wizard) it took.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <string>

#include "tests/harness/test_folder.h"

namespace test {

inline size_t CountLinks(const std::wstring& folder) {
    size_t links = 0;
    std::error_code ignored;
    for (const auto& e : std::filesystem::directory_iterator(folder, ignored)) links += e.path().extension() == L".lnk";
    return links;
}

// The sample package installed into `target` (without its backslash) from `setup`, with the
// names the user gave.
inline void ExpectDemoInstalled(const std::wstring& target, const std::wstring& setup, const std::wstring& owner,
                                const std::wstring& company) {
    for (const wchar_t* name : {L"config.exe", L"License.html", L"Unstall.exe", L"_backup_.dat"}) {
        EXPECT_TRUE(Exists(target + L"\\" + name)) << Utf8(name);
    }
    EXPECT_FALSE(Exists(target + L"\\InstallInfo.dif")) << "the record stays in the payload";
    EXPECT_TRUE(Exists(SystemFolder() + L"\\Demo(1).ime"));

    const wchar_t* entry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo";
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, entry, L"RegOwner"), owner);
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, entry, L"RegCompany"), company);
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, entry, L"InstallLocation"), target + L"\\");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, entry, L"InstallSource"), setup);
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, entry, L"UninstallString"),
              L"\"" + target + L"\\Unstall.exe\" -u name=[Demo]");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, L"Software\\vexal\\Demo", L"SMEInstallPath"), target + L"\\");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, L"Software\\vexal\\Demo", L"SMEInstallPath"), target + L"\\");

    EXPECT_EQ(CountLinks(ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Demo"), 9u);
}

}  // namespace test
