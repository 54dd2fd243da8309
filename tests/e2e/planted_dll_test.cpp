// DLLs planted under the names of the system DLLs that the program loads, in the folders where
// someone other than an administrator can put them: beside the installer in a downloads
// folder, in the work folder, beside the installed Unstall.exe. The elevated program loads
// none of them, in any mode, and imports nothing that the loader would look for there.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/harness/demo_installation.h"
#include "tests/harness/installed_demo.h"
#include "tests/harness/module_holder.h"
#include "tests/harness/process.h"
#include "tests/harness/program_run.h"
#include "tests/harness/ui_driver.h"
#include "tests/harness/update_server.h"

namespace {

using test::Completed;
using test::Exists;
using test::Utf8;

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// The libraries that the program loads at run time. version.dll is not planted here: Wine's
// own user32 imports it, so under an override Wine itself takes a planted one into every
// program before its first instruction (Windows's user32 imports no such thing). That the
// program does not import it is checked on its import table below.
const wchar_t* const kSystemNames[] = {L"wininet.dll", L"Cabinet.dll"};

// What the loader always takes from the system folder (the known DLLs, and ntdll, which the
// system maps into every process before the loader runs), and comctl32, which the manifest
// takes from the side-by-side store.
const wchar_t* const kSystemImports[] = {L"kernel32.dll", L"user32.dll",   L"gdi32.dll",   L"advapi32.dll",
                                         L"shell32.dll",  L"ole32.dll",    L"oleaut32.dll", L"comdlg32.dll",
                                         L"imm32.dll",    L"msvcrt.dll",   L"psapi.dll",    L"shlwapi.dll",
                                         L"comctl32.dll", L"ntdll.dll"};

// The DLLs named by the import table of a program of this build's own kind, in lower case.
std::vector<std::wstring> ImportedDlls(const std::string& image) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
    auto at = [&](DWORD rva) -> const char* {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& section = sections[i];
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
                return image.data() + (rva - section.VirtualAddress + section.PointerToRawData);
            }
        }
        return nullptr;
    };
    std::vector<std::wstring> names;
    const DWORD table = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(at(table)); entry && entry->Name; ++entry) {
        const std::string name = at(entry->Name);
        names.push_back(Lower(std::wstring(name.begin(), name.end())));
    }
    return names;
}

TEST(ProgramImportsTest, TheProgramImportsOnlyWhatTheLoaderTakesFromTheSystemFolder) {
    const std::string image = test::ReadBytes(test::ProgramBeside(L"srinstallbase.exe"));
    ASSERT_GT(image.size(), 4096u);
    const std::vector<std::wstring> imported = ImportedDlls(image);
    ASSERT_NE(std::find(imported.begin(), imported.end(), L"kernel32.dll"), imported.end()) << "the table was read";
    for (const std::wstring& name : imported) {
        EXPECT_NE(std::find(std::begin(kSystemImports), std::end(kSystemImports), name), std::end(kSystemImports))
            << Utf8(name) << " is looked up beside the program first";
    }
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        image.data() + reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data())->e_lfanew);
    EXPECT_EQ(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].Size, 0u) << "no delayed imports";
}

class PlantedDllTest : public test::ProgramRunTest {
protected:
    void SetUp() override {
        ProgramRunTest::SetUp();
        CreateDirectoryW(m_downloads.c_str(), nullptr);
        // Every process started from here on inherits it.
        SetEnvironmentVariableW(L"SR_PLANTED_RECORD", m_record.c_str());

        // Wine prefers its builtin DLLs to a native one of the same name wherever that lies;
        // ctest starts this program with WINEDLLOVERRIDES that make a native DLL of each name
        // win, as a planted one would on Windows. The test proves nothing unless a program
        // that asks for each name bare, with the marker beside it, does get the marker.
        const std::wstring probe = m_folder / L"probe\\";
        CreateDirectoryW(probe.c_str(), nullptr);
        Plant(probe);
        const std::wstring holderCopy = probe + L"SrModuleHolder.exe";
        ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrModuleHolder.exe").c_str(), holderCopy.c_str(), FALSE));
        std::vector<std::wstring> expected;
        for (const wchar_t* name : kSystemNames) {
            test::Holder holder(name, holderCopy);
            ASSERT_TRUE(holder.Ready()) << Utf8(name);
            expected.push_back(Lower(probe + name));
        }
        ASSERT_EQ(Loaded(), expected) << "Wine does not load a planted DLL here (WINEDLLOVERRIDES); the test "
                                         "would prove nothing";
        DeleteFileW(m_record.c_str());
    }
    void TearDown() override {
        m_held.clear();
        SetEnvironmentVariableW(L"SR_PLANTED_RECORD", nullptr);
        test::DeleteRegTree(HKEY_LOCAL_MACHINE, test::kDemoVendorKey);
        test::RemoveDemoInstallation();
        test::RemoveTree(m_target);
    }

    // Puts a marker of each name into the folder. The work folder is emptied at the end of
    // every run, by the first process while its working copy may still be starting, so its
    // markers are held open there: they can be loaded, not deleted, as an attacker who
    // planted them again and again would have it.
    void Plant(const std::wstring& folder, bool hold = false) {
        CreateDirectoryW(folder.c_str(), nullptr);
        for (const wchar_t* name : kSystemNames) {
            const std::wstring marker = folder + name;
            ASSERT_TRUE(CopyFileW(test::ProgramBeside(L"SrPlanted.dll").c_str(), marker.c_str(), FALSE));
            if (!hold) continue;
            m_held.emplace_back(CreateFileW(marker.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                            nullptr));
            ASSERT_TRUE(m_held.back().Valid());
        }
    }

    // The paths of the markers that some process loaded, in lower case, in the order of loading.
    std::vector<std::wstring> Loaded() const {
        const std::string bytes = test::ReadBytes(m_record);
        const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
        std::vector<std::wstring> paths;
        for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
            paths.push_back(Lower(text.substr(start, end - start)));
        }
        return paths;
    }

    // Runs a program from the downloads folder as its current folder, as a user starts it there.
    DWORD Run(const std::wstring& program, const std::wstring& arguments) {
        return ProgramRunTest::Run(program, arguments, m_downloads);
    }

    const std::wstring m_downloads = m_folder / L"Downloads\\";
    const std::wstring m_record = m_folder / L"loaded markers.txt";
    const std::wstring m_target = test::ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Demo\\";
    std::vector<fw::UniqueHandle> m_held;
};

TEST_F(PlantedDllTest, AnInstallFromADownloadsFolderLoadsNoneOfTheDllsBesideItOrInTheWorkFolder) {
    const std::wstring setup = m_downloads + L"DemoSetup.exe";
    PlaceDemoSetup(setup);
    Plant(m_downloads);
    Plant(m_work, true);
    EXPECT_TRUE(Completed(Run(setup, L"/S")));
    EXPECT_TRUE(Exists(m_target + L"Unstall.exe")) << "the payload was unpacked";
    EXPECT_EQ(Loaded(), std::vector<std::wstring>());
}

TEST_F(PlantedDllTest, TheInstalledUninstallerLoadsNoneOfTheDllsBesideItInRepairUpdateAndUninstall) {
    const std::wstring setup = m_folder / L"DemoSetup.exe";
    PlaceDemoSetup(setup);
    ASSERT_TRUE(Completed(Run(setup, L"/S")));
    const std::wstring uninstaller = m_target + L"Unstall.exe";
    Plant(m_target);
    Plant(m_work, true);

    // The repair unpacks the backup through Cabinet.dll.
    EXPECT_TRUE(Completed(Run(uninstaller, L"-r name=[Demo] /S")));

    // The update loads WinINet for its first download, which fails against a closed port.
    test::WriteCatalogue(L"Demo", L"DemoIme", L"DemoTable", L"DemoSkin");
    test::SetRegString(HKEY_LOCAL_MACHINE, test::kDemoVendorKey, L"UpdateServer", L"http://127.0.0.1:9");
    HWND dialog = OpenWindow(uninstaller, L"-g name=[Demo]", L"Demo - 更新程序", m_downloads);
    ASSERT_TRUE(dialog);
    std::vector<std::wstring> lines;
    for (int i = 0; i < 600 && (lines.empty() || lines.back() != L"更新完毕"); ++i, Sleep(100)) {
        lines = test::ListLines(dialog, 1006);
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"下载索拉输入系统更新信息失败！"), lines.end())
        << "a download was tried";
    EXPECT_EQ(EndWindow(dialog), 0u);

    EXPECT_TRUE(Completed(Run(uninstaller, L"-u name=[Demo] /S")));
    EXPECT_EQ(Loaded(), std::vector<std::wstring>());
}

}  // namespace
