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

inline std::wstring RegString(HKEY root, const wchar_t* key, const wchar_t* value) {
    wchar_t text[512] = {};
    DWORD bytes = sizeof text;
    if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) return L"(missing)";
    return text;
}

inline std::string Utf8(const std::wstring& text) { return std::filesystem::path(text).u8string(); }

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
    wchar_t folder[MAX_PATH];
    GetSystemDirectoryW(folder, MAX_PATH);
    EXPECT_TRUE(Exists(std::wstring(folder) + L"\\Demo(1).ime"));

    const wchar_t* entry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo";
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, entry, L"RegOwner"), owner);
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, entry, L"RegCompany"), company);
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, entry, L"InstallLocation"), target + L"\\");
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, entry, L"InstallSource"), setup);
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, entry, L"UninstallString"),
              L"\"" + target + L"\\Unstall.exe\" -u name=[Demo]");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, L"Software\\vexal\\Demo", L"SMEInstallPath"), target + L"\\");
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, L"Software\\vexal\\Demo", L"SMEInstallPath"), target + L"\\");

    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, folder)));
    EXPECT_EQ(CountLinks(std::wstring(folder) + L"\\Demo"), 9u);
}

}  // namespace test
