// Driving dialogs as a user would: find their windows, read their controls, click.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace test {

// Waits (at most timeoutMs) for a visible top-level window of the given thread, or of any
// thread when thread is 0, whose title is `title` (any title when null).
HWND WaitForWindow(DWORD thread, const wchar_t* title, DWORD timeoutMs = 15000);

// Waits until the window is gone; false on timeout.
bool WaitUntilGone(HWND window, DWORD timeoutMs = 15000);

std::wstring TextOf(HWND window);
std::wstring ItemText(HWND dialog, int id);
// Every line of the dialog's list box `id`, in list order.
std::vector<std::wstring> ListLines(HWND dialog, int id);

// Cancels the setup wizard from one of its pages: Cancel, then Yes to the question.
// False when the question did not come.
bool CancelWizard(HWND page);

// Clicks a button the way the mouse does (BM_CLICK, which the dialog gets as WM_COMMAND).
void Click(HWND dialog, int id);
// The same click posted, for a button whose handler opens a modal window or runs long: the
// caller goes on at once instead of waiting for that window to close.
void Press(HWND dialog, int id);

}  // namespace test
