// The destination page: what it proposes, what it locks, and the checks before it goes on.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>

#include "app/folders.h"
#include "app/run_state.h"
#include "res/resource.h"
#include "tests/harness/run_driven.h"
#include "tests/harness/test_folder.h"
#include "tests/harness/ui_driver.h"
#include "wizard/select_dir_page.h"
#include "wizard/wizard_state.h"

namespace {

const wchar_t kPackage[] = L"DstTest";
const wchar_t kVendorKey[] = L"Software\\vexal\\DstTest";
const wchar_t kTitle[] = L"DstTest输入法安装向导--->选择安装位置";
const wchar_t kInstalledNote[] = L"当前计算机存在一个已经安装的副本，如需更改安装目录请先卸载以往版本。";

DWORD ThreadOf(HWND window) { return GetWindowThreadProcessId(window, nullptr); }

// Posted: Next may open a message box or the next page, which would hold a sent click.
void Press(HWND page, int id) { PostMessageW(GetDlgItem(page, id), BM_CLICK, 0, 0); }

bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != 0; }

// Waits for the box with this caption, clicks `answer` and returns its message (a message
// box keeps it in the static 0xFFFF).
std::wstring Answer(HWND page, const wchar_t* caption, int answer) {
    HWND box = test::WaitForWindow(ThreadOf(page), caption);
    if (!box) return L"(no box)";
    std::wstring text = test::ItemText(box, 0xFFFF);
    test::Click(box, answer);
    test::WaitUntilGone(box);
    return text;
}

// Waits for the page to hide itself by handing over, then ends whatever the wizard opened
// after it (the progress page, when there is one), answering the cancel question, until the
// page's own window is gone. False when the page never handed over.
bool HandedOverAndUnwound(HWND page) {
    const DWORD thread = ThreadOf(page), start = GetTickCount();
    while (IsWindow(page) && IsWindowVisible(page)) {
        if (GetTickCount() - start > 15000) return false;
        Sleep(20);
    }
    while (IsWindow(page) && GetTickCount() - start < 30000) {
        HWND top = test::WaitForWindow(thread, nullptr, 200);
        if (!top || top == page) continue;
        if (test::TextOf(top) == L"用户中止操作") test::Click(top, IDYES);
        else PostMessageW(top, WM_COMMAND, IDCANCEL, 0);
        test::WaitUntilGone(top, 2000);
    }
    return true;
}

class DestinationPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
        InitCommonControlsEx(&controls);
        wcscpy(m_config.name, kPackage);
        wcscpy(m_state.workFolder, m_work.Path().c_str());
        // 1024 KiB and a small file counted as one: (3 × 1025) / 1024 = 3 MB.
        test::WriteBytes(m_work / L"payload.cab", std::string(1024 * 1024, 'p'));
        test::WriteBytes(m_work / L"small.txt", "x");
        g_runState = &m_state;
        g_packageConfig = &m_config;
        m_savedWizard = g_wizardState;
        g_wizardState = WIZARDSTATE{{}, {}, 1, L"c:\\"};
        test::DeleteRegTree(HKEY_LOCAL_MACHINE, kVendorKey);
        GetPackageDataFolder(m_dataFolder, kPackage);
    }
    void TearDown() override {
        test::DeleteRegTree(HKEY_LOCAL_MACHINE, kVendorKey);
        test::RemoveTree(m_dataFolder);
        RemoveDirectoryW(DefaultFolder().c_str());
        g_wizardState = m_savedWizard;
        g_runState = nullptr;
        g_packageConfig = nullptr;
    }

    static std::wstring DefaultFolder() {
        wchar_t programs[MAX_PATH];
        SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programs);
        return std::wstring(programs) + L"\\" + kPackage + L"\\";
    }

    // Package data of an earlier installation, which an overwrite removes.
    void MakeOldPackageData() {
        SHCreateDirectoryExW(nullptr, m_dataFolder, nullptr);
        test::WriteBytes(std::wstring(m_dataFolder) + L"old.dat", "old");
    }

    test::TestFolder m_work, m_target;
    RUNSTATE m_state{};
    PACKAGECONFIG m_config{};
    WIZARDSTATE m_savedWizard{};
    wchar_t m_dataFolder[kPathChars] = {};
};

TEST_F(DestinationPageTest, ProposesTheDefaultFolderAndTellsTheSpaceNeeded) {
    CSR_Install_SelectDir page;
    std::wstring title, folder, size, note, firstDrive;
    int drives = 0;
    bool editable = false;
    test::RunDriven(page, [&](HWND w) {
        title = test::TextOf(w);
        folder = test::ItemText(w, IDC_DESTINATION);
        size = test::ItemText(w, IDC_SIZE_TEXT);
        note = test::ItemText(w, IDC_INSTALLED_NOTE);
        editable = Enabled(w, IDC_DESTINATION) && Enabled(w, IDC_BROWSE) && Enabled(w, IDC_DRIVES);
        drives = (int)SendDlgItemMessageW(w, IDC_DRIVES, LB_GETCOUNT, 0, 0);
        if (drives > 0) {
            wchar_t line[256] = {};
            SendDlgItemMessageW(w, IDC_DRIVES, LB_GETTEXT, 0, (LPARAM)line);
            firstDrive = line;
        }
        Press(w, IDCANCEL);
        Answer(w, L"用户中止操作", IDYES);
    });
    EXPECT_EQ(title, kTitle);
    EXPECT_EQ(folder, DefaultFolder());
    EXPECT_EQ(size, L"这里指定一个安装目录.软件需要大约 3 MB的磁盘空间");
    EXPECT_EQ(note, L"");
    EXPECT_TRUE(editable);
    // The prefix's C: has room; the list ends at D:, which it lacks.
    ASSERT_EQ(drives, 1);
    const std::wstring lead = L"磁盘C:               总大小:";
    EXPECT_EQ(firstDrive.substr(0, lead.size()), lead);
    EXPECT_NE(firstDrive.find(L"MB               剩余大小:"), std::wstring::npos) << firstDrive.c_str();
}

TEST_F(DestinationPageTest, AnExistingInstallationLocksItsFolderAndNoToOverwritingEndsTheWizard) {
    test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"SMEInstallPath", m_target.Path().c_str());
    MakeOldPackageData();
    CSR_Install_SelectDir page;
    std::wstring folder, note, question;
    bool locked = false, nextEnabled = false;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        folder = test::ItemText(w, IDC_DESTINATION);
        note = test::ItemText(w, IDC_INSTALLED_NOTE);
        locked = !Enabled(w, IDC_DESTINATION) && !Enabled(w, IDC_BROWSE) && !Enabled(w, IDC_DRIVES);
        nextEnabled = Enabled(w, IDOK);
        Press(w, IDOK);
        question = Answer(w, L"是否继续？", IDNO);
    });
    EXPECT_EQ(folder, m_target.Path());
    EXPECT_EQ(note, kInstalledNote);
    EXPECT_TRUE(locked);
    EXPECT_TRUE(nextEnabled);
    EXPECT_EQ(question, L"所选安装目录已经存在，如果继续，安装程序将覆盖当前目录？");
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(test::Exists(std::wstring(m_dataFolder) + L"old.dat")) << "No removes nothing";
}

TEST_F(DestinationPageTest, YesToOverwritingRemovesOldPackageDataAndGoesOn) {
    MakeOldPackageData();
    CSR_Install_SelectDir page;
    bool handedOver = false;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        SetDlgItemTextW(w, IDC_DESTINATION, m_target.Path().c_str());
        Press(w, IDOK);
        Answer(w, L"是否继续？", IDYES);
        handedOver = HandedOverAndUnwound(w);
    });
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(result, IDOK) << "handed over to the progress page";
    EXPECT_FALSE(test::Exists(m_dataFolder));
    EXPECT_TRUE(test::Exists(m_target.Path()));
    EXPECT_EQ(std::wstring(g_wizardState.destination), m_target.Path());
}

TEST_F(DestinationPageTest, ANewFolderIsCreatedAsTyped) {
    const std::wstring typed = m_target / L"New Folder";  // no trailing backslash: kept as typed
    CSR_Install_SelectDir page;
    bool handedOver = false;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        SetDlgItemTextW(w, IDC_DESTINATION, typed.c_str());
        Press(w, IDOK);
        handedOver = HandedOverAndUnwound(w);
    });
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(test::Exists(typed));
    EXPECT_EQ(std::wstring(g_wizardState.destination), typed);
}

TEST_F(DestinationPageTest, AFolderThatCannotBeCreatedIsNamedAndThePageStays) {
    const std::wstring typed = m_target / L"missing\\deeper\\";
    CSR_Install_SelectDir page;
    std::wstring error;
    bool stays = false;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        SetDlgItemTextW(w, IDC_DESTINATION, typed.c_str());
        Press(w, IDOK);
        error = Answer(w, L"安装错误？", IDOK);
        stays = IsWindowVisible(w) != 0;
        Press(w, IDCANCEL);
        Answer(w, L"用户中止操作", IDYES);
    });
    EXPECT_EQ(error, L"所选安装目录:\r\n" + typed + L"\r\n未能创建，请确定您的当前用户对该目录的访问权限！");
    EXPECT_TRUE(stays);
    EXPECT_FALSE(test::Exists(m_target / L"missing"));
    EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
