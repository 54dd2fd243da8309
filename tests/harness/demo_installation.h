// Removing what an install of the sample package "Demo" put outside a test's scratch folder.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "run/folders.h"
#include "install/install_steps.h"
#include "payload/cabinet.h"
#include "payload/payload_key.h"
#include "payload/records.h"
#include "support/bounded_text.h"
#include "tests/harness/test_folder.h"

namespace test {

// The sample package as start-up leaves it in the work folder `work` (with its backslash):
// the bare program, the payload file and the unpacked payload folder, with the state's slots
// pointing at them and the record loaded. False when it could not be unpacked.
inline bool UnpackSamplePackage(const std::wstring& work, RUNSTATE& state, PACKAGECONFIG& config,
                                std::string* payload = nullptr) {
    CreateDirectoryW(work.c_str(), nullptr);
    CopyCut(state.workFolder, work.c_str());
    CopyCut(state.payloadFolder, (work + L"SR_INSTALL\\").c_str());
    CopyCut(state.payloadFile, (work + L"srinstallbaseexe.cab").c_str());
    CopyCut(state.bareProgram, (work + L"unstall.exe").c_str());
    CopyCut(state.ownPath, (work + L"___temp.exe").c_str());
    const std::string demo = ReadBytes(ProgramBeside(L"DemoSetup.exe"));
    const std::string program = ReadBytes(ProgramBeside(L"srinstallbase.exe"));
    const std::string cabinet = demo.substr(program.size());
    if (payload) *payload = cabinet;
    WriteBytes(state.payloadFile, cabinet);
    WriteBytes(state.bareProgram, program);
    Cabinet::CExtract extractor;
    extractor.SetKey(kPayloadKeyLength);
    return extractor.Init() && extractor.Extract(state.payloadFile, state.payloadFolder) &&
           LoadPackageConfig((std::wstring(state.payloadFolder) + L"InstallInfo.dif").c_str(), config);
}

inline void RemoveDemoInstallation() {
    INSTALLEDPACKAGE installed = {};
    wcscpy(installed.packageName, L"Demo");
    RUNSTATE state{};
    InstallContext removal(state, nullptr, false);
    removal.installed = &installed;
    RemoveIme(removal);
    DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo");
    DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\vexal\\Demo");
    DeleteRegTree(HKEY_CURRENT_USER, L"Software\\vexal\\Demo");
    wchar_t folder[MAX_PATH];
    if (GetPackageDataFolder(folder, L"Demo")) RemoveTree(folder);
    const std::wstring programs = ShellFolder(CSIDL_COMMON_PROGRAMS), desktop = ShellFolder(CSIDL_DESKTOPDIRECTORY);
    if (!programs.empty()) RemoveTree(programs + L"\\Demo");
    if (!desktop.empty()) DeleteFileW((desktop + L"\\Demo1.系统设置.lnk").c_str());
    DeleteFileW((SystemFolder() + L"\\Demo(1).ime").c_str());
}

}  // namespace test
