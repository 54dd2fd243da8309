// Driving a dialog of this process from a second thread.
#include "tests/harness/run_driven.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/harness/ui_driver.h"

namespace test {

INT_PTR RunDriven(fw::Dialog& dialog, const std::function<void(HWND)>& drive) {
    const DWORD uiThread = GetCurrentThreadId();
    std::thread driver([&] {
        HWND window = WaitForWindow(uiThread, nullptr);
        if (!window) {
            ADD_FAILURE() << "no dialog window appeared";
            return;
        }
        drive(window);
        if (!WaitUntilGone(window, 3000)) {
            ADD_FAILURE() << "the dialog was still open after the test; closing it";
            PostMessageW(window, WM_CLOSE, 0, 0);
            if (!WaitUntilGone(window, 3000)) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        }
    });
    INT_PTR result = dialog.DoModal(nullptr);
    driver.join();
    return result;
}

}  // namespace test
