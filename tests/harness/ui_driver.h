// Driving dialogs as a user would: find their windows, read their controls, click.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "framework/dialog.h"

namespace test {

// Waits (at most timeoutMs) for a visible top-level window of the given thread, or of any
// thread when thread is 0, whose title is `title` (any title when null).
HWND WaitForWindow(DWORD thread, const wchar_t* title, DWORD timeoutMs = 15000);

// Waits until the window is gone; false on timeout.
bool WaitUntilGone(HWND window, DWORD timeoutMs = 15000);

std::wstring TextOf(HWND window);
std::wstring ItemText(HWND dialog, int id);

// Clicks a button the way the mouse does (BM_CLICK, which the dialog gets as WM_COMMAND).
void Click(HWND dialog, int id);

// Runs the dialog modally on this thread while `drive` acts on its window from another
// thread. If the dialog is still open after `drive`, it is closed, so a failing test never
// hangs. Returns the dialog's result.
INT_PTR RunDriven(fw::Dialog& dialog, const std::function<void(HWND)>& drive);

}  // namespace test
