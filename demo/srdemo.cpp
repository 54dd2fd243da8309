// srdemo: runs the installer in each of its modes, drives its windows, and reports.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/container.h"
#include "res/resource.h"
#include "tests/harness/demo_installation.h"
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
    test::CancelWizard(page);
    test::WaitForExit(copy.Get());
    Say(L"  cancelled the wizard (Cancel, then Yes to its question); the work folder now holds: " + Listing(kWork));
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

std::wstring RegistryValues(HKEY root, const wchar_t* key) {
    HKEY k;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return L"    (absent)";
    std::wstring out;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], data[1024] = {};
        DWORD nameLength = 256, bytes = sizeof data - sizeof(wchar_t), type;
        if (RegEnumValueW(k, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) != ERROR_SUCCESS) {
            break;
        }
        out += L"    " + std::wstring(name) + L" = " + (type == REG_SZ ? std::wstring(data) : L"(not a string)") + L"\n";
    }
    RegCloseKey(k);
    return out.empty() ? L"    (no values)" : out.substr(0, out.size() - 1);
}

// "name -> target arguments" of every link in a folder.
std::wstring Links(const std::wstring& folder) {
    std::wstring out;
    std::error_code ignored;
    for (const auto& e : std::filesystem::directory_iterator(folder, ignored)) {
        if (_wcsicmp(e.path().extension().c_str(), L".lnk") != 0) continue;
        IShellLinkW* link = nullptr;
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&link)))) {
            continue;
        }
        IPersistFile* file = nullptr;
        wchar_t target[MAX_PATH] = {}, arguments[MAX_PATH] = {};
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(e.path().c_str(), STGM_READ))) {
                link->GetPath(target, MAX_PATH, nullptr, 0);
                link->GetArguments(arguments, MAX_PATH);
            }
            file->Release();
        }
        link->Release();
        out += L"    " + e.path().filename().wstring() + L" -> " + target + L" " + arguments + L"\n";
    }
    return out.empty() ? L"    (none)" : out.substr(0, out.size() - 1);
}

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, 0, path);
    return path;
}

bool RunUnattendedInstall(const std::wstring& setup) {
    const std::wstring target = ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Demo IME";
    const std::wstring log = TempFolder() + L"srdemo\\setup.log";
    const std::wstring arguments = L"/S \"/D=" + target + L"\" /USER=Demo用户 /LOG=\"" + log + L"\"";
    Say(L"  started: \"" + setup + L"\" " + arguments);
    fw::UniqueHandle first = test::StartWithTemp(setup, arguments, TempFolder());
    const DWORD code = test::WaitForExit(first.Get(), 120000);
    Say(L"  no window opened; the exit code is " + std::to_wstring(code) +
        (code == 0 ? L" (installed)" : code == 3010 ? L" (installed, a restart completes it)" : L" (FAILED)"));
    Say(L"  the log " + log + L":");
    std::string lines = test::ReadBytes(log);
    fputs(lines.c_str(), stdout);
    Say(L"  the installation folder " + target + L": " + Listing(target));
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    Say(L"  the system IME file " + std::wstring(system) + L"\\Demo(1).ime: " +
        (test::Exists(std::wstring(system) + L"\\Demo(1).ime") ? L"present" : L"MISSING"));
    const std::wstring data = ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SoramoIMEs\\Demo";
    Say(L"  the package data folder " + data + L": " + Listing(data));
    Say(L"  HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo:");
    Say(RegistryValues(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo"));
    Say(L"  HKLM\\Software\\vexal\\Demo:");
    Say(RegistryValues(HKEY_LOCAL_MACHINE, L"Software\\vexal\\Demo"));
    Say(L"  HKCU\\Software\\vexal\\Demo:");
    Say(RegistryValues(HKEY_CURRENT_USER, L"Software\\vexal\\Demo"));
    const std::wstring group = ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Demo";
    Say(L"  the shortcut group " + group + L":");
    Say(Links(group));
    Say(L"  on the desktop:");
    Say(Links(ShellFolder(CSIDL_DESKTOPDIRECTORY)));
    HKL layout = FindImeLayout(L"Demo(1).ime");
    Say(layout ? L"  the keyboard layout of Demo(1).ime is registered" : L"  FAILED: no keyboard layout for Demo(1).ime");
    test::RemoveDemoInstallation();
    test::RemoveTree(target);
    Say(L"  (the demo then removed this installation again, so that the prefix stays as it was)");
    return (code == 0 || code == 3010) && layout;
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
    CoInitialize(nullptr);
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
    Say(L"5. Unattended install of the sample package");
    ok &= RunUnattendedInstall(test::ProgramBeside(L"DemoSetup.exe"));
    Say(L"6. Install mode: an installer whose payload is no cabinet");
    ok &= RunInstall(folder + L"BrokenSetup.exe", bytes);

    Say(L"7. What the runs left behind");
    Say(L"  " + folder + L": " + Listing(folder));
    Say(L"  " + kWork + L": " + Listing(kWork));
    Say(L"  " + RegistryReport(HKEY_CURRENT_USER, L"HKCU", L"Software\\vexal\\Demo"));
    Say(L"  " + RegistryReport(HKEY_LOCAL_MACHINE, L"HKLM",
                                L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo"));
    test::RemoveTree(TempFolder() + L"srdemo\\");
    Say(ok ? L"demo finished: every step behaved as expected" : L"demo finished with FAILURES");
    return ok ? 0 : 1;
}
