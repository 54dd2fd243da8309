// One run of the install steps over scratch folders: its run state, package record and
// context.
#pragma once
#include <windows.h>

#include <string>

#include "install/install_context.h"
#include "support/bounded_text.h"
#include "tests/harness/test_folder.h"

namespace test {

// The payload folder "work\SR_INSTALL\" exists; the bare program "work\unstall.exe", the
// payload file "work\srinstallbaseexe.cab" and the installation folder "install\" do not.
class InstallRun {
public:
    explicit InstallRun(const wchar_t* packageName) {
        CopyCut(m_package.name, packageName);
        Set(m_state.payloadFolder, m_folder / L"work\\SR_INSTALL\\");
        Set(m_state.bareProgram, m_folder / L"work\\unstall.exe");
        Set(m_state.payloadFile, m_folder / L"work\\srinstallbaseexe.cab");
        Set(m_state.ownPath, m_folder / L"work\\___temp.exe");
        CreateDirectoryW((m_folder / L"work").c_str(), nullptr);
        CreateDirectoryW(m_state.payloadFolder, nullptr);
        m_context.package = &m_package;
        Set(m_context.installFolder, m_folder / L"install\\");
    }
    InstallRun(const InstallRun&) = delete;
    InstallRun& operator=(const InstallRun&) = delete;

    InstallContext& Context() { return m_context; }
    RUNSTATE& State() { return m_state; }
    PACKAGECONFIG& Package() { return m_package; }
    std::wstring Payload(const std::wstring& name = L"") const { return m_state.payloadFolder + name; }
    std::wstring Installed(const std::wstring& name = L"") const { return m_context.installFolder + name; }

    template <size_t N>
    static void Set(wchar_t (&slot)[N], const std::wstring& text) { CopyCut(slot, text.c_str()); }

private:
    TestFolder m_folder;
    RUNSTATE m_state{};
    PACKAGECONFIG m_package{};
    InstallContext m_context{m_state, nullptr, false};
};

}  // namespace test
