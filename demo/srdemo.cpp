// srdemo: runs the installer in each of its modes, drives its windows, and reports.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/demo_output.h"
#include "payload/container.h"
#include "res/resource.h"
#include "tests/harness/demo_installation.h"
#include "tests/harness/process.h"
#include "tests/harness/test_folder.h"
#include "tests/harness/ui_driver.h"
#include "tests/harness/update_server.h"
#include "update/version_info.h"

namespace {

using demo::Say;
using demo::TempFolder;

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

using test::ShellFolder;

std::wstring RegString(HKEY root, const std::wstring& key, const wchar_t* value) {
    wchar_t text[600] = {};
    DWORD bytes = sizeof text;
    if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) return L"(absent)";
    return text;
}

const std::wstring kEntryKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo";

std::wstring SystemImeFile() {
    return test::SystemFolder() + L"\\Demo(1).ime";
}

// The keyboard layouts whose IME file is Demo(1).ime, from the registry: this process keeps
// the list of layouts it loaded once, so its own view would not see one go.
std::wstring DemoLayouts() {
    const wchar_t* layoutsKey = L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts";
    HKEY layouts;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, layoutsKey, 0, KEY_READ, &layouts) != ERROR_SUCCESS) return L"";
    std::wstring found;
    wchar_t name[64];
    for (DWORD i = 0; RegEnumKeyW(layouts, i, name, 64) == ERROR_SUCCESS; ++i) {
        const std::wstring file = RegString(HKEY_LOCAL_MACHINE, std::wstring(layoutsKey) + L"\\" + name, L"Ime File");
        if (file.size() >= 11 && _wcsicmp(file.c_str() + file.size() - 11, L"Demo(1).ime") == 0) {
            found += (found.empty() ? L"" : L", ") + std::wstring(name);
        }
    }
    RegCloseKey(layouts);
    return found;
}

// A control's text as its own process sees it: GetWindowTextW does not ask a control of
// another process, so an edit's text would read empty.
std::wstring ControlText(HWND dialog, int id) {
    wchar_t text[512] = {};
    SendDlgItemMessageW(dialog, id, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

// The folders a run keeps its undo journal in while it works: a finished run leaves none.
std::wstring Journals() {
    std::wstring names;
    std::error_code ignored;
    for (const auto& e : std::filesystem::directory_iterator(ShellFolder(CSIDL_COMMON_APPDATA), ignored)) {
        const std::wstring name = e.path().filename().wstring();
        if (_wcsnicmp(name.c_str(), L"SRIMEJournal.Demo.", 18) == 0) names += (names.empty() ? L"" : L", ") + name;
    }
    return names.empty() ? L"none" : names;
}

// Where an installation of the sample package puts things, and what is there now.
void ReportInstallation(const std::wstring& target) {
    Say(L"  the installation folder " + target + L": " + (test::Exists(target) ? Listing(target) : L"absent"));
    Say(L"  the system IME file " + SystemImeFile() + L": " + (test::Exists(SystemImeFile()) ? L"present" : L"absent"));
    const std::wstring data = ShellFolder(CSIDL_COMMON_APPDATA) + L"\\SoramoIMEs\\Demo";
    Say(L"  the package data folder " + data + L": " + (test::Exists(data) ? Listing(data) : L"absent"));
    Say(L"  HKLM\\" + kEntryKey + L":");
    Say(RegistryValues(HKEY_LOCAL_MACHINE, kEntryKey.c_str()));
    Say(L"  HKLM\\Software\\vexal\\Demo:");
    Say(RegistryValues(HKEY_LOCAL_MACHINE, L"Software\\vexal\\Demo"));
    Say(L"  HKCU\\Software\\vexal\\Demo:");
    Say(RegistryValues(HKEY_CURRENT_USER, L"Software\\vexal\\Demo"));
    const std::wstring group = ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Demo";
    Say(L"  the shortcut group " + group + L": " + (test::Exists(group) ? L"" : L"absent"));
    if (test::Exists(group)) Say(Links(group));
    const std::wstring desktopLink = ShellFolder(CSIDL_DESKTOPDIRECTORY) + L"\\Demo1.系统设置.lnk";
    Say(L"  the desktop link " + desktopLink + L": " + (test::Exists(desktopLink) ? L"present" : L"absent"));
    const std::wstring layouts = DemoLayouts();
    Say(layouts.empty() ? L"  no keyboard layout uses Demo(1).ime" : L"  the keyboard layout " + layouts + L" uses Demo(1).ime");
    Say(L"  undo journals of Demo in " + ShellFolder(CSIDL_COMMON_APPDATA) + L": " + Journals());
}

// Runs a program with /S and waits for its exit code; prints the log it wrote.
DWORD RunUnattended(const std::wstring& program, const std::wstring& arguments, const std::wstring& log) {
    DeleteFileW(log.c_str());
    Say(L"  started: \"" + program + L"\" " + arguments);
    fw::UniqueHandle first = test::StartWithTemp(program, arguments, TempFolder());
    const DWORD code = test::WaitForExit(first.Get(), 120000);
    Say(L"  no window opened; the exit code is " + std::to_wstring(code));
    Say(L"  the log " + log + L":");
    fputs(test::ReadBytes(log).c_str(), stdout);
    return code;
}

bool RunUnattendedInstall(const std::wstring& setup, const std::wstring& target) {
    const std::wstring log = TempFolder() + L"srdemo\\setup.log";
    const DWORD code = RunUnattended(setup, L"/S \"/D=" + target + L"\" /USER=Demo用户 /LOG=\"" + log + L"\"", log);
    Say(code == 0 ? L"  (0: installed)" : code == 3010 ? L"  (3010: installed, a restart completes it)" : L"  FAILED");
    ReportInstallation(target);
    return (code == 0 || code == 3010) && !DemoLayouts().empty();
}

// Starts the installed uninstaller in a mode, presses the button that runs, shows the lines,
// presses "完成(&O)" and waits for the working copy to end.
bool RunThroughDialog(const std::wstring& uninstaller, const wchar_t* arguments, const wchar_t* title) {
    fw::UniqueHandle copy;
    HWND dialog = StartAndFind(uninstaller, arguments, title, copy);
    if (!dialog) return false;
    // The template's caption stands until the check on the module's holders is done.
    for (int i = 0; i < 500 && test::ItemText(dialog, IDOK) == L"修复(&U)"; ++i) Sleep(20);
    const std::wstring run = test::ItemText(dialog, IDOK);
    Say(L"  after the check on the module's holders, button 1 reads \"" + run + L"\"; current operation: \"" +
        ControlText(dialog, IDC_STATE_TEXT) + L"\"");
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    for (int i = 0; i < 3000 && test::ItemText(dialog, IDOK) != L"完成(&O)"; ++i) Sleep(20);
    Say(L"  pressed \"" + run + L"\"; the details list:");
    for (const std::wstring& line : test::ListLines(dialog, IDC_DETAILS)) Say(L"    " + line);
    Say(L"  the progress bar stands at " +
        std::to_wstring(SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0)) + L"; current operation: \"" +
        ControlText(dialog, IDC_STATE_TEXT) + L"\"; button 1 reads \"" + test::ItemText(dialog, IDOK) + L"\"");
    test::Click(dialog, IDOK);
    const DWORD code = test::WaitForExit(copy.Get());
    const bool gone = WaitGone(kWork + L"___temp.exe", 15000);
    Say(L"  pressed it; the working copy ended (exit code " + std::to_wstring(code) + L")" +
        (gone ? L" and deleted itself" : L" but is STILL THERE"));
    return gone;
}

bool RunRepair(const std::wstring& target) {
    DeleteFileW((target + L"config.exe").c_str());
    DeleteFileW((target + L"License.html").c_str());
    test::RemoveTree(ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Demo");
    test::SetRegString(HKEY_LOCAL_MACHINE, kEntryKey, L"RegOwner", L"改过的用户名");
    Say(L"  deleted config.exe, License.html and the shortcut group; set RegOwner to \"改过的用户名\"");
    if (!RunThroughDialog(target + L"Unstall.exe", L"-r name=[Demo]", L"Demo - 修复程序")) return false;
    ReportInstallation(target);
    const bool back = test::Exists(target + L"config.exe") && test::Exists(target + L"License.html") &&
                      test::Exists(ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Demo\\1.系统设置.lnk");
    Say(back ? L"  the repair brought the files and the links back" : L"  FAILED: files or links are still missing");
    return back;
}

bool RunUnattendedRepair(const std::wstring& target) {
    const std::wstring log = TempFolder() + L"srdemo\\repair.log";
    DeleteFileW((target + L"config.exe").c_str());
    Say(L"  deleted config.exe");
    const DWORD code = RunUnattended(target + L"Unstall.exe", L"-r name=[Demo] /S /LOG=\"" + log + L"\"", log);
    const bool back = test::Exists(target + L"config.exe");
    Say(back ? L"  config.exe is back" : L"  FAILED: config.exe is still missing");

    const std::string backup = test::ReadBytes(target + L"_backup_.dat");
    test::WriteBytes(target + L"_backup_.dat", backup.substr(0, backup.size() / 2));
    Say(L"  cut _backup_.dat to half its size");
    const DWORD damaged = RunUnattended(target + L"Unstall.exe", L"-r name=[Demo] /S /LOG=\"" + log + L"\"", log);
    Say(damaged == 1620 ? L"  (1620: the backup cannot be unpacked; nothing was touched)" : L"  FAILED: expected 1620");
    test::WriteBytes(target + L"_backup_.dat", backup);
    Say(L"  put the whole _backup_.dat back");
    return (code == 0 || code == 3010) && back && damaged == 1620;
}

bool RunUninstall(const std::wstring& target) {
    if (!RunThroughDialog(target + L"Unstall.exe", L"-u name=[Demo]", L"Demo - 卸载程序")) return false;
    ReportInstallation(target);
    return !test::Exists(target) && DemoLayouts().empty();
}

bool RunUnattendedUninstall(const std::wstring& target) {
    const std::wstring log = TempFolder() + L"srdemo\\uninstall.log";
    const DWORD code = RunUnattended(target + L"Unstall.exe", L"-u name=[Demo] /S /LOG=\"" + log + L"\"", log);
    Say(code == 0 ? L"  (0: removed)" : code == 3010 ? L"  (3010: removed; the IME file goes at the next restart)"
                                                     : L"  FAILED");
    const bool gone = WaitGone(target, 15000);
    Say(gone ? L"  the uninstaller that waited deleted itself and the emptied folder"
             : L"  FAILED: the installation folder is still there");
    ReportInstallation(target);
    return (code == 0 || code == 3010) && gone && DemoLayouts().empty();
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
    test::SetRegString(HKEY_LOCAL_MACHINE, L"Software\\vexal\\Demo", L"UpdateServer", server);
    Say(std::wstring(L"  set HKLM\\Software\\vexal\\Demo UpdateServer = ") + server);
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
    const std::wstring ime = SystemImeFile();
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

    const std::wstring demoSetup = test::ProgramBeside(L"DemoSetup.exe");
    const std::wstring target = ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Demo IME\\";
    bool ok = true;
    // The installer and this driver are of one build, so what the driver reads is what the
    // installer sees: a 32-bit pair sees the registry's 32-bit view and SysWOW64 on 64-bit Windows.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    Say(std::wstring(L"0. The ") + (sizeof(void*) == 8 ? L"64-bit" : L"32-bit") + L" build: system folder " +
        test::SystemFolderOnDisk() + L", program files " + ShellFolder(CSIDL_PROGRAM_FILES) + L", HKLM\\Software" +
        (wow64 ? L" through its 32-bit view (Wow6432Node)" : L" as it stands"));
    Say(L"1. Install mode: the sample installer");
    ok &= RunSampleInstaller(demoSetup);
    Say(L"2. Unattended install of the sample package");
    ok &= RunUnattendedInstall(demoSetup, target);
    Say(L"3. Repair through its dialog, started as the shortcut \"修复安装\" starts it");
    ok &= RunRepair(target);
    Say(L"4. Unattended repair, and one from a damaged backup");
    ok &= RunUnattendedRepair(target);
    Say(L"5. Uninstall through its dialog, started as the shortcut \"卸载软件\" starts it");
    ok &= RunUninstall(target);
    Say(L"6. Unattended install again, then the entry's QuietUninstallString");
    ok &= RunUnattendedInstall(demoSetup, target);
    Say(L"  QuietUninstallString = " + RegString(HKEY_LOCAL_MACHINE, kEntryKey, L"QuietUninstallString"));
    ok &= RunUnattendedUninstall(target);
    Say(L"7. Online-update mode of a bare uninstaller");
    ok &= RunMode(uninstaller, L"-g name=[Demo]", L"Demo - 更新程序");
    Say(L"8. Install mode: an installer whose payload is no cabinet");
    ok &= RunInstall(folder + L"BrokenSetup.exe", bytes);
    Say(L"9. Online update of the installed sample package from a loopback server");
    if (const wchar_t* server = _wgetenv(L"SR_DEMO_UPDATE_SERVER")) {
        ok &= RunUpdateOfInstalledPackage(test::ProgramBeside(L"DemoSetup.exe"), server);
    } else {
        Say(L"  skipped: no update server (scripts/demo starts one and names it in SR_DEMO_UPDATE_SERVER)");
    }

    Say(L"10. What the runs left behind");
    Say(L"  " + target + L": " + (test::Exists(target) ? Listing(target) : L"absent"));
    Say(L"  " + folder + L": " + Listing(folder));
    Say(L"  " + kWork + L": " + Listing(kWork));
    Say(L"  " + RegistryReport(HKEY_CURRENT_USER, L"HKCU", L"Software\\vexal\\Demo"));
    Say(L"  " + RegistryReport(HKEY_LOCAL_MACHINE, L"HKLM",
                                L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo"));
    // Every run above succeeded, and a run that succeeds takes its undo journal away.
    const std::wstring journals = Journals();
    Say(L"  undo journals of Demo in " + ShellFolder(CSIDL_COMMON_APPDATA) + L": " + journals);
    ok = ok && journals == L"none";
    test::RemoveTree(TempFolder() + L"srdemo\\");
    Say(ok ? L"demo finished: every step behaved as expected" : L"demo finished with FAILURES");
    return ok ? 0 : 1;
}
