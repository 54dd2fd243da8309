// The load-status dialog against real holders: its lines in both wordings, and its results.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "guard/load_status_dialog.h"
#include "res/resource.h"
#include "tests/harness/module_holder.h"
#include "tests/harness/run_driven.h"
#include "tests/harness/test_folder.h"
#include "tests/harness/ui_driver.h"

namespace {

using test::Holder;
using test::ProgramBeside;
using test::TestFolder;

constexpr wchar_t kKey[] = L"SrLoadStatus(1).ime";

std::wstring CopyModule(const TestFolder& folder) {
    const std::wstring path = folder / kKey;
    EXPECT_TRUE(CopyFileW(ProgramBeside(L"SrGuardTest.ime").c_str(), path.c_str(), FALSE));
    return path;
}

std::vector<std::wstring> Lines(HWND dialog) { return test::ListLines(dialog, IDC_HOLDER_LINES); }

// The line of a holder in the given wording; the executable's name compared without case.
testing::AssertionResult IsLineOf(const std::wstring& line, const Holder& holder, const wchar_t* idLabel,
                                  const wchar_t* nameLabel) {
    const std::wstring prefix = idLabel + std::to_wstring(holder.Id()) + L"    " + nameLabel;
    if (line.compare(0, prefix.size(), prefix) == 0 && _wcsicmp(line.c_str() + prefix.size(), L"SrModuleHolder.exe") == 0) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "unexpected line: " << testing::PrintToString(line);
}

bool Alive(const Holder& holder) { return WaitForSingleObject(holder.Process(), 0) == WAIT_TIMEOUT; }

TEST(LoadStatusTest, ListsEveryHolderInChineseSortedAndCancelEndsNone) {
    TestFolder folder;
    const std::wstring module = CopyModule(folder);
    Holder first(module), second(module);
    ASSERT_TRUE(first.Ready() && second.Ready());

    CSR_IMELoadStatus dialog;
    ASSERT_EQ(dialog.CheckLoaded(kKey), 2);
    std::wstring title, explanation, endCaption, cancelCaption;
    std::vector<std::wstring> lines;
    LONG_PTR exStyle = 0;
    INT_PTR result = test::RunDriven(dialog, [&](HWND w) {
        title = test::TextOf(w);
        explanation = test::TextOf(FindWindowExW(w, nullptr, L"Static", nullptr));
        endCaption = test::ItemText(w, IDC_END_PROCESSES);
        cancelCaption = test::ItemText(w, IDCANCEL);
        exStyle = GetWindowLongPtrW(w, GWL_EXSTYLE);
        lines = Lines(w);
        test::Click(w, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(title, L"输入法载入状态");
    EXPECT_EQ(explanation,
              L"　　由于下列进程已经载入了当前输入法，在关闭它们之前，您的操坐将无法继续。\r\n"
              L"　　您可以单击“结束进程(&E)”按钮，强行结束下列进程。或者单击“取消(&C)”，手动关闭下列进程后重试。");
    EXPECT_EQ(endCaption, L"结束进程(&E)");
    EXPECT_EQ(cancelCaption, L"取　消(&C)");
    EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);

    ASSERT_EQ(lines.size(), 2u);
    const bool firstSortsFirst = std::to_wstring(first.Id()) < std::to_wstring(second.Id());
    EXPECT_TRUE(IsLineOf(lines[firstSortsFirst ? 0 : 1], first, L"进程ID: ", L"进程名称: "));
    EXPECT_TRUE(IsLineOf(lines[firstSortsFirst ? 1 : 0], second, L"进程ID: ", L"进程名称: "));
    EXPECT_TRUE(Alive(first) && Alive(second)) << "cancelling ends nothing";
}

// Wine lets every process of the prefix end every other, so a holder that refuses to end
// cannot be made; one that starts after the list was taken survives the first press instead.
TEST(LoadStatusTest, AHolderLeftAfterEndingIsShownInEnglishAndTheNextPressEndsIt) {
    TestFolder folder;
    const std::wstring module = CopyModule(folder);
    Holder early(module);
    ASSERT_TRUE(early.Ready());
    std::unique_ptr<Holder> late;

    CSR_IMELoadStatus dialog;
    ASSERT_EQ(dialog.CheckLoaded(kKey), 1);
    std::vector<std::wstring> afterFirst;
    bool openAfterFirst = false, earlyAliveAfterFirst = true;
    INT_PTR result = test::RunDriven(dialog, [&](HWND w) {
        late = std::make_unique<Holder>(module);
        if (!late->Ready()) return;
        test::Click(w, IDC_END_PROCESSES);
        afterFirst = Lines(w);
        openAfterFirst = IsWindowVisible(w) != 0;
        earlyAliveAfterFirst = WaitForSingleObject(early.Process(), 20000) != WAIT_OBJECT_0;
        test::Click(w, IDC_END_PROCESSES);
    });
    ASSERT_TRUE(late && late->Ready());
    EXPECT_FALSE(earlyAliveAfterFirst);
    EXPECT_TRUE(openAfterFirst);
    ASSERT_EQ(afterFirst.size(), 1u);
    EXPECT_TRUE(IsLineOf(afterFirst[0], *late, L"ID: ", L"NAME: "));
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(WaitForSingleObject(late->Process(), 20000), WAIT_OBJECT_0);
}

TEST(LoadStatusTest, RunWithoutHoldersItClosesAtOnceWithZero) {
    CSR_IMELoadStatus unchecked;
    EXPECT_EQ(unchecked.DoModal(), 0);

    CSR_IMELoadStatus checked;
    ASSERT_EQ(checked.CheckLoaded(L"SrNobodyHoldsThis(1).ime"), 0);
    EXPECT_EQ(checked.DoModal(), 0);
}

}  // namespace
