// Driving dialogs from a second thread.
#include "tests/harness/ui_driver.h"

#include "framework/controls.h"

#include <vector>

namespace test {

namespace {

struct Search {
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK Match(HWND hwnd, LPARAM lp) {
    Search& s = *reinterpret_cast<Search*>(lp);
    if (!IsWindowVisible(hwnd)) return TRUE;
    if (s.title && TextOf(hwnd) != s.title) return TRUE;
    s.found = hwnd;
    return FALSE;
}

}  // namespace

HWND WaitForWindow(DWORD thread, const wchar_t* title, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    do {
        Search s{title, nullptr};
        if (thread) EnumThreadWindows(thread, Match, reinterpret_cast<LPARAM>(&s));
        else EnumWindows(Match, reinterpret_cast<LPARAM>(&s));
        if (s.found) return s.found;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

std::wstring TextOf(HWND window) {
    std::vector<wchar_t> text(GetWindowTextLengthW(window) + 1);
    GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    return text.data();
}

std::wstring ItemText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }

std::vector<std::wstring> ListLines(HWND dialog, int id) {
    const fw::ListBox list(GetDlgItem(dialog, id));
    std::vector<std::wstring> lines;
    for (int i = 0; i < list.GetCount(); ++i) lines.push_back(list.GetItemText(i));
    return lines;
}

bool CancelWizard(HWND page) {
    const DWORD thread = GetWindowThreadProcessId(page, nullptr);
    PostMessageW(page, WM_COMMAND, IDCANCEL, 0);
    HWND question = WaitForWindow(thread, L"用户中止操作", 5000);
    if (!question) return false;
    PostMessageW(question, WM_COMMAND, IDYES, 0);
    return true;
}

void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void Press(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

}  // namespace test
