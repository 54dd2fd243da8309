// The destination page: what it proposes, what it locks, and the checks before it goes on.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/bounded_text.h"
#include "run/folders.h"
#include "run/run_state.h"
#include "framework/handles.h"
#include "res/resource.h"
#include "tests/harness/run_driven.h"
#include "tests/harness/test_folder.h"
#include "tests/harness/ui_driver.h"
#include "wizard/select_dir_page.h"
#include "run/wizard_state.h"

namespace {

const wchar_t kPackage[] = L"DstTest";
const wchar_t kVendorKey[] = L"Software\\vexal\\DstTest";
const wchar_t kTitle[] = L"DstTest输入法安装向导--->选择安装位置";
const wchar_t kInstalledNote[] = L"当前计算机存在一个已经安装的副本，如需更改安装目录请先卸载以往版本。";

DWORD ThreadOf(HWND window) { return GetWindowThreadProcessId(window, nullptr); }

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
        m_run.wizard.licenceAccepted = 1;
        CopyCut(m_run.wizard.destination, kFirstDestination);
        test::DeleteRegTree(HKEY_LOCAL_MACHINE, kVendorKey);
        GetPackageDataFolder(m_dataFolder, kPackage);
    }
    void TearDown() override {
        test::DeleteRegTree(HKEY_LOCAL_MACHINE, kVendorKey);
        test::RemoveTree(m_dataFolder);
        RemoveDirectoryW(DefaultFolder().c_str());
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
    RunContext m_run{};
    RUNSTATE& m_state = m_run.state;
    PACKAGECONFIG& m_config = m_run.package;
    wchar_t m_dataFolder[kPathChars] = {};
};

TEST_F(DestinationPageTest, ProposesTheDefaultFolderAndTellsTheSpaceNeeded) {
    CSR_Install_SelectDir page(m_run);
    std::wstring title, folder, size, note;
    std::vector<std::wstring> drives;
    bool editable = false;
    test::RunDriven(page, [&](HWND w) {
        title = test::TextOf(w);
        folder = test::ItemText(w, IDC_DESTINATION);
        size = test::ItemText(w, IDC_SIZE_TEXT);
        note = test::ItemText(w, IDC_INSTALLED_NOTE);
        editable = Enabled(w, IDC_DESTINATION) && Enabled(w, IDC_BROWSE) && Enabled(w, IDC_DRIVES);
        drives = test::ListLines(w, IDC_DRIVES);
        test::Press(w, IDCANCEL);
        Answer(w, L"用户中止操作", IDYES);
    });
    EXPECT_EQ(title, kTitle);
    EXPECT_EQ(folder, DefaultFolder());
    EXPECT_EQ(size, L"这里指定一个安装目录.软件需要大约 3 MB的磁盘空间");
    EXPECT_EQ(note, L"");
    EXPECT_TRUE(editable);
    // The prefix has C: and D: with room; the list ends at E:, which it lacks.
    ASSERT_EQ(drives.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const std::wstring lead = std::wstring(L"磁盘") + wchar_t(L'C' + i) + L":               总大小:";
        EXPECT_EQ(drives[i].substr(0, lead.size()), lead);
        EXPECT_NE(drives[i].find(L"MB               剩余大小:"), std::wstring::npos) << drives[i].c_str();
    }
}

TEST_F(DestinationPageTest, ChoosingADriveLineMovesOnlyTheDriveOfTheFolder) {
    CSR_Install_SelectDir page(m_run);
    std::wstring folder;
    test::RunDriven(page, [&](HWND w) {
        // What a click on the second line sends: the selection, then its notification.
        HWND list = GetDlgItem(w, IDC_DRIVES);
        SendMessageW(list, LB_SETCURSEL, 1, 0);
        SendMessageW(w, WM_COMMAND, MAKEWPARAM(IDC_DRIVES, LBN_SELCHANGE), (LPARAM)list);
        folder = test::ItemText(w, IDC_DESTINATION);
        test::Press(w, IDCANCEL);
        Answer(w, L"用户中止操作", IDYES);
    });
    EXPECT_EQ(folder, L"D" + DefaultFolder().substr(1));
}

TEST_F(DestinationPageTest, SoftwareLargerThanEveryDriveListsNoDrive) {
    // A sparse file that takes no room but counts by its size: three times it exceeds what
    // C: and D: have free.
    ULARGE_INTEGER freeC{}, freeD{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:\\", nullptr, nullptr, &freeC));
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"D:\\", nullptr, nullptr, &freeD));
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(std::max(freeC.QuadPart, freeD.QuadPart) / 2 + (1ull << 30));
    if (size.QuadPart / 1024 * 3 > 0xFFFFFFFFll) GTEST_SKIP() << "the drives are too large for a megabyte count";
    {
        fw::UniqueHandle file(CreateFileW((m_work / L"huge.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.Valid());
        ASSERT_TRUE(SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get()));
    }
    CSR_Install_SelectDir page(m_run);
    std::vector<std::wstring> drives;
    bool listEnabled = false;
    test::RunDriven(page, [&](HWND w) {
        drives = test::ListLines(w, IDC_DRIVES);
        listEnabled = Enabled(w, IDC_DRIVES);
        test::Press(w, IDCANCEL);
        Answer(w, L"用户中止操作", IDYES);
    });
    EXPECT_TRUE(drives.empty()) << drives.size();
    EXPECT_TRUE(listEnabled);
}

TEST(DriveFilterTest, ADriveMustKeep200MBBeyondTheSoftware) {
    const ULONGLONG mb = 1024 * 1024;
    EXPECT_FALSE(DriveHasRoom((3 + 200) * mb, 3));
    EXPECT_TRUE(DriveHasRoom((3 + 200) * mb + 1, 3));
    EXPECT_FALSE(DriveHasRoom(200 * mb, 0));
    EXPECT_TRUE(DriveHasRoom(200 * mb + 1, 0));
    // Sizes past 4 GiB are compared whole.
    EXPECT_TRUE(DriveHasRoom((5000ull + 200) * mb + 1, 5000));
    EXPECT_FALSE(DriveHasRoom((5000ull + 200) * mb, 5000));
}

TEST_F(DestinationPageTest, AnExistingInstallationLocksItsFolderAndNoToOverwritingEndsTheWizard) {
    test::SetRegString(HKEY_LOCAL_MACHINE, kVendorKey, L"SMEInstallPath", m_target.Path().c_str());
    MakeOldPackageData();
    CSR_Install_SelectDir page(m_run);
    std::wstring folder, note, question;
    bool locked = false, nextEnabled = false;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        folder = test::ItemText(w, IDC_DESTINATION);
        note = test::ItemText(w, IDC_INSTALLED_NOTE);
        locked = !Enabled(w, IDC_DESTINATION) && !Enabled(w, IDC_BROWSE) && !Enabled(w, IDC_DRIVES);
        nextEnabled = Enabled(w, IDOK);
        test::Press(w, IDOK);
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
    CSR_Install_SelectDir page(m_run);
    bool handedOver = false;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        SetDlgItemTextW(w, IDC_DESTINATION, m_target.Path().c_str());
        test::Press(w, IDOK);
        Answer(w, L"是否继续？", IDYES);
        handedOver = HandedOverAndUnwound(w);
    });
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(result, IDOK) << "handed over to the progress page";
    EXPECT_FALSE(test::Exists(m_dataFolder));
    EXPECT_TRUE(test::Exists(m_target.Path()));
    EXPECT_EQ(std::wstring(m_run.wizard.destination), m_target.Path());
}

TEST_F(DestinationPageTest, ANewFolderIsCreatedAsTyped) {
    const std::wstring typed = m_target / L"New Folder";  // no trailing backslash: kept as typed
    CSR_Install_SelectDir page(m_run);
    bool handedOver = false;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        SetDlgItemTextW(w, IDC_DESTINATION, typed.c_str());
        test::Press(w, IDOK);
        handedOver = HandedOverAndUnwound(w);
    });
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(test::Exists(typed));
    EXPECT_EQ(std::wstring(m_run.wizard.destination), typed);
}

TEST_F(DestinationPageTest, AFolderThatCannotBeCreatedIsNamedAndThePageStays) {
    const std::wstring typed = m_target / L"missing\\deeper\\";
    CSR_Install_SelectDir page(m_run);
    std::wstring error;
    bool stays = false;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        SetDlgItemTextW(w, IDC_DESTINATION, typed.c_str());
        test::Press(w, IDOK);
        error = Answer(w, L"安装错误？", IDOK);
        stays = IsWindowVisible(w) != 0;
        test::Press(w, IDCANCEL);
        Answer(w, L"用户中止操作", IDYES);
    });
    EXPECT_EQ(error, L"所选安装目录:\r\n" + typed + L"\r\n未能创建，请确定您的当前用户对该目录的访问权限！");
    EXPECT_TRUE(stays);
    EXPECT_FALSE(test::Exists(m_target / L"missing"));
    EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
