// srdemo: runs the installer in each of its modes, drives its windows, and reports.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/container.h"
#include "res/resource.h"
#include "tests/harness/process.h"
#include "tests/harness/test_folder.h"
#include "tests/harness/ui_driver.h"

namespace {

// Wine passes bytes through to the Linux terminal; UTF-8 shows the Chinese texts.
void Say(const std::wstring& text) {
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.pop_back();
    fputs(utf8.c_str(), stdout);
    fputs("\n", stdout);
    fflush(stdout);
}

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

std::wstring Listing(const std::wstring& folder) {
    std::wstring names;
    std::error_code ignored;
    for (const auto& e : std::filesystem::directory_iterator(folder, ignored)) {
        names += (names.empty() ? L"" : L", ") + e.path().filename().wstring() + L" (" +
                 std::to_wstring(e.is_directory() ? 0 : e.file_size()) + L" bytes)";
    }
    return names.empty() ? L"nothing" : names;
}

const std::wstring kWork = TempFolder() + L"__SRIMEInstall\\";

// Starts `program arguments` as the user would, waits for the working copy's window and
// returns it with the working copy's process.
HWND StartAndFind(const std::wstring& program, const std::wstring& arguments, const wchar_t* title,
                  fw::UniqueHandle& copy) {
    Say(L"  started: \"" + program + L"\" " + arguments);
    fw::UniqueHandle first = test::StartWithTemp(program, arguments, TempFolder());
    DWORD code = test::WaitForExit(first.Get());
    Say(L"  the started process ended at once (exit code " + std::to_wstring(code) +
        L") after relaunching its working copy");
    HWND window = test::WaitForWindow(0, title);
    if (!window) {
        Say(std::wstring(L"  FAILED: no window titled \"") + title + L"\" appeared");
        return nullptr;
    }
    copy = test::ProcessOfWindow(window);
    Say(L"  the working copy " + test::ImagePathOf(copy.Get()) + L" runs with the command line");
    Say(L"    " + test::CommandLineOf(copy.Get()));
    Say(L"  its window: \"" + test::TextOf(window) + L"\", button 1 reads \"" + test::ItemText(window, IDOK) + L"\"");
    return window;
}

bool WaitGone(const std::wstring& path, DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); test::Exists(path); Sleep(50)) {
        if (GetTickCount() - start > timeoutMs) return false;
    }
    return true;
}

bool RunMode(const std::wstring& program, const wchar_t* arguments, const wchar_t* title) {
    fw::UniqueHandle copy;
    HWND window = StartAndFind(program, arguments, title, copy);
    if (!window) return false;
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = test::WaitForExit(copy.Get());
    Say(L"  closed it with the close box; the working copy ended (exit code " + std::to_wstring(code) + L")");
    bool gone = WaitGone(kWork + L"___temp.exe", 15000);
    Say(gone ? L"  the working copy deleted itself through the command interpreter"
             : L"  FAILED: the working copy is still there");
    Say(L"  the work folder now holds: " + Listing(kWork));
    return gone;
}

bool RunSampleInstaller(const std::wstring& setup) {
    Say(L"  " + setup + L" was made by srpack from the sample package");
    fw::UniqueHandle copy;
    HWND page = StartAndFind(setup, L"", L"欢迎使用Demo输入法安装向导", copy);
    if (!page) return false;
    Say(L"  the payload was deciphered and unpacked into " + kWork + L"SR_INSTALL\\: " +
        Listing(kWork + L"SR_INSTALL\\"));
    PostMessageW(page, WM_COMMAND, IDCANCEL, 0);
    test::WaitForExit(copy.Get());
    Say(L"  cancelled the wizard; the work folder now holds: " + Listing(kWork));
    return true;
}

bool RunInstall(const std::wstring& setup, const std::string& program) {
    std::string payload = "CRYP";
    for (int i = 0; i < 4092; ++i) payload.push_back(static_cast<char>(i * 31));
    std::string image = program;
    WritePayloadOffset(reinterpret_cast<BYTE*>(&image[0]), static_cast<DWORD>(image.size()),
                       static_cast<DWORD>(image.size()));
    test::WriteBytes(setup, image + payload);
    Say(L"  made " + setup + L": the program (" + std::to_wstring(image.size()) + L" bytes) with " +
        std::to_wstring(payload.size()) + L" bytes appended, their offset in LoaderFlags");

    fw::UniqueHandle copy;
    HWND page = StartAndFind(setup, L"", L"输入法安装向导--->错误", copy);
    if (!page) return false;
    bool bare = test::ReadBytes(kWork + L"unstall.exe") == image;
    bool cab = test::ReadBytes(kWork + L"srinstallbaseexe.cab") == payload;
    Say(L"  the work folder holds: " + Listing(kWork));
    Say(std::wstring(L"  unstall.exe is ") + (bare ? L"byte-identical to the program part" : L"WRONG") +
        L"; srinstallbaseexe.cab is " + (cab ? L"byte-identical to the payload" : L"WRONG"));
    Say(L"  (the payload is no real cabinet, so the extraction fails and the error page is shown)");
    test::Click(page, IDOK);
    test::WaitForExit(copy.Get());
    Say(L"  clicked \"完成(&O)\"; the run ended and emptied the work folder, which now holds: " + Listing(kWork));
    return bare && cab;
}

std::wstring RegistryReport(HKEY root, const wchar_t* rootName, const wchar_t* key) {
    HKEY k;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) {
        return std::wstring(rootName) + L"\\" + key + L": absent";
    }
    RegCloseKey(k);
    return std::wstring(rootName) + L"\\" + key + L": present";
}

}  // namespace

int wmain() {
    const std::wstring program = test::ProgramBeside(L"srinstallbase.exe");
    const std::string bytes = test::ReadBytes(program);
    const std::wstring folder = TempFolder() + L"srdemo\\Demo IME\\";
    std::filesystem::create_directories(folder);
    const std::wstring uninstaller = folder + L"Unstall.exe";
    test::WriteBytes(uninstaller, bytes);

    bool ok = true;
    Say(L"1. Uninstall mode, as the shortcut starts it");
    ok &= RunMode(uninstaller, L"-u name=[Demo]", L"Demo - 卸载程序");
    Say(L"2. Repair mode");
    ok &= RunMode(uninstaller, L"-r name=[Demo]", L"Demo - 修复程序");
    Say(L"3. Online-update mode");
    ok &= RunMode(uninstaller, L"-g name=[Demo]", L"Demo - 更新程序");
    Say(L"4. Install mode: the sample installer");
    ok &= RunSampleInstaller(test::ProgramBeside(L"DemoSetup.exe"));
    Say(L"5. Install mode: an installer whose payload is no cabinet");
    ok &= RunInstall(folder + L"BrokenSetup.exe", bytes);

    Say(L"6. What the runs left behind");
    Say(L"  " + folder + L": " + Listing(folder));
    Say(L"  " + kWork + L": " + Listing(kWork));
    Say(L"  " + RegistryReport(HKEY_CURRENT_USER, L"HKCU", L"Software\\vexal\\Demo"));
    Say(L"  " + RegistryReport(HKEY_LOCAL_MACHINE, L"HKLM",
                                L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo"));
    test::RemoveTree(TempFolder() + L"srdemo\\");
    Say(ok ? L"demo finished: every step behaved as expected" : L"demo finished with FAILURES");
    return ok ? 0 : 1;
}
