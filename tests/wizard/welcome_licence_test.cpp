// The welcome and licence pages: the names they keep, the agreement they show, how they end.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <string>

#include "support/bounded_text.h"
#include "run/run_state.h"
#include "res/resource.h"
#include "tests/harness/run_driven.h"
#include "tests/harness/test_folder.h"
#include "tests/harness/ui_driver.h"
#include "wizard/licence_page.h"
#include "wizard/welcome_page.h"
#include "run/wizard_state.h"

namespace {

const wchar_t kVersionKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kWelcomeTitle[] = L"欢迎使用Wiz输入法安装向导";
const wchar_t kLicenceTitle[] = L"Wiz输入法安装向导--->许可协议";
const wchar_t kDestinationTitle[] = L"Wiz输入法安装向导--->选择安装位置";
const wchar_t kCancelCaption[] = L"用户中止操作";
const wchar_t kCancelQuestion[] =
    L"安装程序尚未完成,如果您现在退出,您的程序将不能安装.\n\n您可以以后再运行安装程序完成安装\n\n是否中止安装过程？";

DWORD ThreadOf(HWND window) { return GetWindowThreadProcessId(window, nullptr); }

bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != 0; }
bool Checked(HWND page, int id) { return SendDlgItemMessageW(page, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// A message box keeps its message in the static 0xFFFF.
std::wstring MessageOf(HWND box) { return test::ItemText(box, 0xFFFF); }

// Cancels from `page` and answers the question; returns the question's text.
std::wstring CancelAnswering(HWND page, int answer) {
    test::Press(page, IDCANCEL);
    HWND box = test::WaitForWindow(ThreadOf(page), kCancelCaption);
    if (!box) return L"(no question)";
    std::wstring text = MessageOf(box);
    test::Click(box, answer);
    test::WaitUntilGone(box);
    return text;
}

// The records start-up would have filled, a fresh wizard state, and the machine's
// registered names put back afterwards.
class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
        InitCommonControlsEx(&controls);
        OleInitialize(nullptr);
        wcscpy(m_config.name, L"Wiz");
        wcscpy(m_state.payloadFolder, m_payload.Path().c_str());
        wcscpy(m_state.workFolder, m_work.Path().c_str());
        CopyCut(m_run.wizard.destination, kFirstDestination);
        m_hadOwner = ReadRegistered(L"RegisteredOwner", m_owner);
        m_hadOrganization = ReadRegistered(L"RegisteredOrganization", m_organization);
    }
    void TearDown() override {
        SetRegistered(L"RegisteredOwner", m_hadOwner ? m_owner.c_str() : nullptr);
        SetRegistered(L"RegisteredOrganization", m_hadOrganization ? m_organization.c_str() : nullptr);
        OleUninitialize();
    }

    static bool ReadRegistered(const wchar_t* name, std::wstring& value) {
        wchar_t text[256] = {};
        DWORD bytes = sizeof text - sizeof(wchar_t);
        if (RegGetValueW(HKEY_LOCAL_MACHINE, kVersionKey, name, RRF_RT_REG_SZ, nullptr, text, &bytes)) return false;
        value = text;
        return true;
    }
    static void SetRegistered(const wchar_t* name, const wchar_t* value) {
        test::SetRegString(HKEY_LOCAL_MACHINE, kVersionKey, name, value);
    }

    test::TestFolder m_payload, m_work;
    RunContext m_run{};
    RUNSTATE& m_state = m_run.state;
    PACKAGECONFIG& m_config = m_run.package;
    std::wstring m_owner, m_organization;
    bool m_hadOwner = false, m_hadOrganization = false;
};

// Welcome page

using WelcomePageTest = WizardTest;

// Types "Typed User" and the company, changes the registered names behind the page's back,
// goes on to the licence page and back; the new welcome page, or null.
HWND TypeAndComeBack(HWND welcome, const wchar_t* company) {
    SetDlgItemTextW(welcome, IDC_USER_NAME, L"Typed User");
    SetDlgItemTextW(welcome, IDC_COMPANY_NAME, company);
    test::SetRegString(HKEY_LOCAL_MACHINE, kVersionKey, L"RegisteredOwner", L"Owner Two");
    test::SetRegString(HKEY_LOCAL_MACHINE, kVersionKey, L"RegisteredOrganization", L"Org Two");
    test::Press(welcome, IDOK);
    HWND licence = test::WaitForWindow(ThreadOf(welcome), kLicenceTitle);
    EXPECT_TRUE(licence);
    if (!licence) return nullptr;
    test::Press(licence, IDC_BACK);
    return test::WaitForWindow(ThreadOf(welcome), kWelcomeTitle);
}

TEST_F(WelcomePageTest, TypedNamesSurviveATripToTheLicencePageAndBack) {
    SetRegistered(L"RegisteredOwner", L"Owner One");
    SetRegistered(L"RegisteredOrganization", L"Org One");
    CSR_Install_BaseDlg page(m_run);
    std::wstring user, company;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        HWND again = TypeAndComeBack(w, L"Typed Company");
        ASSERT_TRUE(again);
        EXPECT_NE(again, w) << "Back builds a new page";
        user = test::ItemText(again, IDC_USER_NAME);
        company = test::ItemText(again, IDC_COMPANY_NAME);
        CancelAnswering(again, IDYES);
    });
    EXPECT_EQ(user, L"Typed User");
    EXPECT_EQ(company, L"Typed Company");
    EXPECT_EQ(std::wstring(m_run.wizard.userName), L"Typed User");
    EXPECT_EQ(result, IDOK) << "the first page ended by handing over";
}

TEST_F(WelcomePageTest, AClearedCompanyFieldRefillsBothFromTheRegistry) {
    SetRegistered(L"RegisteredOwner", L"Owner One");
    SetRegistered(L"RegisteredOrganization", L"Org One");
    CSR_Install_BaseDlg page(m_run);
    std::wstring user, company;
    test::RunDriven(page, [&](HWND w) {
        HWND again = TypeAndComeBack(w, L"");
        ASSERT_TRUE(again);
        user = test::ItemText(again, IDC_USER_NAME);
        company = test::ItemText(again, IDC_COMPANY_NAME);
        CancelAnswering(again, IDYES);
    });
    EXPECT_EQ(user, L"Owner Two");
    EXPECT_EQ(company, L"Org Two");
}

TEST_F(WelcomePageTest, FirstVisitShowsTheRegisteredNamesAndCancelAsks) {
    SetRegistered(L"RegisteredOwner", L"Owner One");
    SetRegistered(L"RegisteredOrganization", L"Org One");
    CSR_Install_BaseDlg page(m_run);
    std::wstring title, user, company, question;
    bool openAfterNo = false, closeBoxAsks = false;
    INT_PTR result = test::RunDriven(page, [&](HWND w) {
        title = test::TextOf(w);
        question = CancelAnswering(w, IDNO);
        openAfterNo = IsWindowVisible(w) != 0;
        user = test::ItemText(w, IDC_USER_NAME);
        company = test::ItemText(w, IDC_COMPANY_NAME);
        PostMessageW(w, WM_CLOSE, 0, 0);
        HWND box = test::WaitForWindow(ThreadOf(w), kCancelCaption);
        closeBoxAsks = box != nullptr;
        if (box) test::Click(box, IDYES);
    });
    EXPECT_EQ(title, kWelcomeTitle);
    EXPECT_EQ(user, L"Owner One");
    EXPECT_EQ(company, L"Org One");
    EXPECT_EQ(question, kCancelQuestion);
    EXPECT_TRUE(openAfterNo);
    EXPECT_TRUE(closeBoxAsks);
    EXPECT_EQ(result, IDCANCEL);
}

// Licence page

using LicencePageTest = WizardTest;

TEST_F(LicencePageTest, FirstVisitIsDeclinedAndAcceptingSurvivesNextAndBack) {
    CSR_Install_Licence page(m_run);
    std::wstring title;
    bool declined = false, nextAtFirst = true, nextAccepted = false, acceptedAgain = false, nextAgain = false,
         nextAfterDecline = true;
    test::RunDriven(page, [&](HWND w) {
        title = test::TextOf(w);
        declined = Checked(w, IDC_DECLINE) && !Checked(w, IDC_ACCEPT);
        nextAtFirst = Enabled(w, IDOK);
        test::Click(w, IDC_ACCEPT);
        nextAccepted = Enabled(w, IDOK);
        test::Press(w, IDOK);
        HWND destination = test::WaitForWindow(ThreadOf(w), kDestinationTitle);
        ASSERT_TRUE(destination);
        test::Press(destination, IDC_BACK);
        HWND again = test::WaitForWindow(ThreadOf(w), kLicenceTitle);
        ASSERT_TRUE(again);
        acceptedAgain = Checked(again, IDC_ACCEPT) && !Checked(again, IDC_DECLINE);
        nextAgain = Enabled(again, IDOK);
        test::Click(again, IDC_DECLINE);
        nextAfterDecline = Enabled(again, IDOK);
        CancelAnswering(again, IDYES);
    });
    EXPECT_EQ(title, kLicenceTitle);
    EXPECT_TRUE(declined);
    EXPECT_FALSE(nextAtFirst);
    EXPECT_TRUE(nextAccepted);
    EXPECT_TRUE(acceptedAgain);
    EXPECT_TRUE(nextAgain);
    EXPECT_FALSE(nextAfterDecline);
    EXPECT_EQ(m_run.wizard.licenceAccepted, 0);
    EXPECT_EQ(page.LicenceUrl(), L"") << "no agreement in the payload: nothing to show";
}

TEST_F(LicencePageTest, TheStandAloneAgreementIsPreferredOverTheHelpFile) {
    test::WriteBytes(m_payload / L"License.html", "<html>agreement</html>");
    test::WriteBytes(m_payload / L"_main_.chm", "ITSF");
    CSR_Install_Licence page(m_run);
    test::RunDriven(page, [&](HWND w) { CancelAnswering(w, IDYES); });
    EXPECT_EQ(page.LicenceUrl(), m_payload / L"License.html");
}

TEST_F(LicencePageTest, OnlyTheHelpFileShowsTheAgreementInsideIt) {
    test::WriteBytes(m_payload / L"_main_.chm", "ITSF");
    CSR_Install_Licence page(m_run);
    test::RunDriven(page, [&](HWND w) { CancelAnswering(w, IDYES); });
    EXPECT_EQ(page.LicenceUrl(), L"mk:@MSITStore:" + m_payload.Path() + L"_main_.chm::/License.html");
}

}  // namespace
