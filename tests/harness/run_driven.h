// Running a dialog of this process modally while a second thread drives it.
#pragma once
#include <functional>

#include "framework/dialog.h"

namespace test {

// Runs the dialog modally on this thread while `drive` acts on its window from another
// thread. If the dialog is still open after `drive`, it is closed, so a failing test never
// hangs. Returns the dialog's result.
INT_PTR RunDriven(fw::Dialog& dialog, const std::function<void(HWND)>& drive);

}  // namespace test
