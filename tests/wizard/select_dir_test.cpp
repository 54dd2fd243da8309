// The destination page: what it proposes, what it locks, and the checks before it goes on:
// the installation-folder rule, the overwrite question, the creation.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
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

using test::Utf8;

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

// What a message box of the page showed, read before its OK is clicked.
struct Box {
    std::wstring text;
    bool ownedByPage = false;
    bool errorIcon = false;
    std::vector<int> buttons;  // the visible ones
};

BOOL CALLBACK ReadBoxChild(HWND child, LPARAM param) {
    Box& box = *reinterpret_cast<Box*>(param);
    wchar_t kind[16] = {};
    GetClassNameW(child, kind, 16);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (_wcsicmp(kind, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        box.errorIcon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0)) == LoadIconW(nullptr, IDI_ERROR);
    } else if (_wcsicmp(kind, L"Button") == 0 && IsWindowVisible(child)) {
        box.buttons.push_back(GetDlgCtrlID(child));
    }
    return TRUE;
}

Box AnswerBox(HWND page, const wchar_t* caption) {
    Box box;
    HWND window = test::WaitForWindow(ThreadOf(page), caption);
    if (!window) return box;
    box.text = test::ItemText(window, 0xFFFF);
    box.ownedByPage = GetWindow(window, GW_OWNER) == page;
    EnumChildWindows(window, ReadBoxChild, reinterpret_cast<LPARAM>(&box));
    test::Click(window, IDOK);
    test::WaitUntilGone(window);
    return box;
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
        return test::ShellFolder(CSIDL_PROGRAM_FILES) + L"\\" + kPackage + L"\\";
    }

    // Package data of an earlier installation, which an overwrite removes.
    void MakeOldPackageData() {
        SHCreateDirectoryExW(nullptr, m_dataFolder, nullptr);
        test::WriteBytes(std::wstring(m_dataFolder) + L"old.dat", "old");
    }

    // Sets the folder where the user types it and presses 下一步(&N); the box that comes, and
    // whether the page stays after it.
    Box Refused(const std::wstring& typed, const wchar_t* caption, bool& stays) {
        CSR_Install_SelectDir page(m_run);
        Box box;
        test::RunDriven(page, [&](HWND w) {
            SetDlgItemTextW(w, IDC_DESTINATION, typed.c_str());
            test::Press(w, IDOK);
            box = AnswerBox(w, caption);
            stays = IsWindowVisible(w) != 0;
            test::Press(w, IDCANCEL);
            Answer(w, L"用户中止操作", IDYES);
        });
        return box;
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

// A folder that the installation-folder rule (tabled in run/folders_test.cpp) refuses, one
// kind of it for each message, is named by an error box of the page, which stays; nothing is
// made, not even below the current folder that a drive-less one would name.
TEST_F(DestinationPageTest, AFolderThatTheRuleRefusesIsNamedByAnErrorBoxAndNotMade) {
    test::TestFolder current;
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(current.Path().c_str()));
    const std::wstring inWindows = test::ShellFolder(CSIDL_WINDOWS) + L"\\SrDstTest\\";
    const struct {
        std::wstring typed, text;
    } kRefusals[] = {
        {L"C:SrDriveLessTest", L"请输入完整的安装目录，例如 C:\\Program Files\\输入法\\"},
        {inWindows, L"所选安装目录:\r\n" + inWindows + L"\r\n未能创建，请确定您的当前用户对该目录的访问权限！"},
    };
    for (const auto& r : kRefusals) {
        bool stays = false;
        const Box box = Refused(r.typed, L"安装错误？", stays);
        EXPECT_EQ(box.text, r.text) << Utf8(r.typed);
        EXPECT_TRUE(box.ownedByPage && box.errorIcon) << Utf8(r.typed);
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << Utf8(r.typed);
        EXPECT_TRUE(stays) << Utf8(r.typed);
    }
    SetCurrentDirectoryW(saved);
    EXPECT_TRUE(std::filesystem::is_empty(current.Path())) << "a folder was made in the current folder";
    EXPECT_FALSE(test::Exists(inWindows));
}

// The user's value can be set by any of the user's processes; a folder that the page would
// refuse is not proposed either. The default is, and the page stays open to a choice.
TEST_F(DestinationPageTest, AFolderRecordedUnderTheUsersKeyOnlyOrInTheSystemsFoldersIsNotLockedOn) {
    const struct {
        HKEY hive;
        std::wstring recorded;
    } kRecords[] = {{HKEY_CURRENT_USER, m_target.Path()},
                    {HKEY_LOCAL_MACHINE, test::ShellFolder(CSIDL_WINDOWS) + L"\\SrOld\\"}};
    for (const auto& record : kRecords) {
        test::SetRegString(record.hive, kVendorKey, L"SMEInstallPath", record.recorded.c_str());
        CSR_Install_SelectDir page(m_run);
        std::wstring folder, note;
        bool editable = false;
        test::RunDriven(page, [&](HWND w) {
            folder = test::ItemText(w, IDC_DESTINATION);
            note = test::ItemText(w, IDC_INSTALLED_NOTE);
            editable = Enabled(w, IDC_DESTINATION) && Enabled(w, IDC_BROWSE) && Enabled(w, IDC_DRIVES);
            test::Press(w, IDCANCEL);
            Answer(w, L"用户中止操作", IDYES);
        });
        test::DeleteRegTree(record.hive, kVendorKey);
        EXPECT_EQ(folder, DefaultFolder()) << Utf8(record.recorded);
        EXPECT_EQ(note, L"");
        EXPECT_TRUE(editable);
    }
}

}  // namespace
