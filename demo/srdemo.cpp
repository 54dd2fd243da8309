// srdemo: runs the installer in each of its modes, drives its windows, and reports.
#include <windows.h>
#include <commctrl.h>
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
#include "tests/harness/update_server.h"
#include "update/version_info.h"

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

// The text of a list-view cell of another process: the item record and the text buffer have
// to live in that process for the control to fill them.
std::wstring RemoteCellText(HWND list, int row, int column) {
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    fw::UniqueHandle owner(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    const HANDLE process = owner.Get();
    if (!process) return L"?";
    struct Remote {
        LVITEMW item;
        wchar_t text[260];
    };
    Remote* remote = static_cast<Remote*>(VirtualAllocEx(process, nullptr, sizeof(Remote), MEM_COMMIT, PAGE_READWRITE));
    if (!remote) return L"?";
    Remote local = {};
    local.item.iSubItem = column;
    local.item.pszText = remote->text;
    local.item.cchTextMax = 260;
    WriteProcessMemory(process, remote, &local, sizeof local, nullptr);
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&remote->item));
    ReadProcessMemory(process, remote, &local, sizeof local, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    local.text[259] = 0;
    return local.text;
}

std::wstring ModuleReport(const std::wstring& file) {
    wchar_t company[256] = {}, description[256] = {}, version[128] = {};
    GetVersionString(file.c_str(), L"FileVersion", version, 128);
    GetVersionString(file.c_str(), L"CompanyName", company, 256);
    GetVersionString(file.c_str(), L"FileDescription", description, 256);
    return std::wstring(L"version ") + version + L", \"" + description + L"\", \"" + company + L"\"";
}

// Installs the sample package, points its update at the loopback server that scripts/demo
// started, offers a newer IME module there and runs "Unstall.exe -g name=[Demo]".
bool RunUpdateOfInstalledPackage(const std::wstring& setup, const wchar_t* server) {
    const std::wstring target = ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Demo IME";
    fw::UniqueHandle install = test::StartWithTemp(setup, L"/S \"/D=" + target + L"\"", TempFolder());
    const DWORD installed = test::WaitForExit(install.Get(), 120000);
    Say(L"  installed the sample package unattended into " + target + L" (exit code " + std::to_wstring(installed) + L")");
    test::WriteCatalogue(L"Demo", L"DemoIme", L"DemoTable", L"DemoSkin");
    Say(L"  wrote its catalogue config.dsc: IME driver DemoIme, code-table driver DemoTable, skin driver DemoSkin");
    test::SetRegString(HKEY_CURRENT_USER, L"Software\\vexal\\Demo", L"UpdateServer", server);
    Say(std::wstring(L"  set HKCU\\Software\\vexal\\Demo UpdateServer = ") + server);
    const std::wstring root = test::ProgramBeside(L"demo_server\\");
    const std::wstring list = L"<TYPE=IME_MAIN><NAME=DemoIme><VERSION=2.3.4.5><CABURL=/cabs/ime.cab>\r\n"
                              L"<TYPE=CONFIG_DRIVE><NAME=_config_><VERSION=0.0.0.0><CABURL=/cabs/config.cab>\r\n";
    std::string utf8(list.size() * 4, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, list.c_str(), (int)list.size(), &utf8[0], (int)utf8.size(), nullptr, nullptr));
    std::filesystem::create_directories(root + L"_supports\\srime_drives");
    test::WriteBytes(root + L"_supports\\srime_drives\\UpdateList.txt", utf8);
    Say(L"  the server offers UpdateList.txt:");
    Say(L"    " + list.substr(0, list.find(L'\r')));
    Say(L"    " + list.substr(list.find(L'\n') + 1, list.rfind(L'\r') - list.find(L'\n') - 1));
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring ime = std::wstring(system) + L"\\Demo(1).ime";
    Say(L"  before: " + ime + L": " + ModuleReport(ime));

    fw::UniqueHandle copy;
    HWND window = StartAndFind(target + L"\\Unstall.exe", L"-g name=[Demo]", L"Demo - 更新程序", copy);
    bool ended = false;
    for (int i = 0; window && i < 600 && !ended; ++i, Sleep(100)) {
        const std::vector<std::wstring> lines = test::ListLines(window, 1006);
        ended = !lines.empty() && lines.back() == L"更新完毕";
    }
    bool updated = false;
    if (ended) {
        Say(L"  the run ended; the message list reads:");
        for (const std::wstring& line : test::ListLines(window, 1006)) Say(L"    " + line);
        HWND rows = GetDlgItem(window, 1011);
        const int count = static_cast<int>(SendMessageW(rows, LVM_GETITEMCOUNT, 0, 0));
        Say(L"  the component list (状态 | 本地版本 | 最新版本 | 驱动类型 | 驱动名称):");
        for (int row = 0; row < count; ++row) {
            std::wstring line;
            for (int column = 0; column < 5; ++column) line += (column ? L" | " : L"") + RemoteCellText(rows, row, column);
            Say(L"    " + line);
        }
        Say(L"  after: " + ime + L": " + ModuleReport(ime));
        updated = GetFileVersion64(ime.c_str()) == ParseVersion(L"2.3.4.5");
        Say(updated ? L"  the installed module was replaced by the new one, which carries the installed one's brand"
                    : L"  FAILED: the installed module was not replaced");
    } else {
        Say(L"  FAILED: the run did not end");
    }
    if (window) {
        test::Click(window, IDCANCEL);
        test::WaitForExit(copy.Get());
        Say(L"  clicked \"退　出(&X)\"; the dialog closed");
    }
    test::RemoveDemoInstallation();
    test::RemoveTree(target);
    test::RemoveTree(root + L"_supports");
    Say(L"  (the demo then removed this installation and the list again)");
    return ended && updated;
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
    Say(L"7. Online update of the installed sample package from a loopback server");
    if (const wchar_t* server = _wgetenv(L"SR_DEMO_UPDATE_SERVER")) {
        ok &= RunUpdateOfInstalledPackage(test::ProgramBeside(L"DemoSetup.exe"), server);
    } else {
        Say(L"  skipped: no update server (scripts/demo starts one and names it in SR_DEMO_UPDATE_SERVER)");
    }

    Say(L"8. What the runs left behind");
    Say(L"  " + folder + L": " + Listing(folder));
    Say(L"  " + kWork + L": " + Listing(kWork));
    Say(L"  " + RegistryReport(HKEY_CURRENT_USER, L"HKCU", L"Software\\vexal\\Demo"));
    Say(L"  " + RegistryReport(HKEY_LOCAL_MACHINE, L"HKLM",
                                L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo"));
    test::RemoveTree(TempFolder() + L"srdemo\\");
    Say(ok ? L"demo finished: every step behaved as expected" : L"demo finished with FAILURES");
    return ok ? 0 : 1;
}
