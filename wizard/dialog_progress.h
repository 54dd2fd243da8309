// DialogProgress: a sequence's report shown in a dialog's list (IDC_DETAILS), the new line
// selected, and its progress bar (IDC_PROGRESS), either of which may be absent.
#pragma once
#include <windows.h>

#include "install/install_context.h"

class DialogProgress : public ProgressSink {
public:
    explicit DialogProgress(HWND dialog);
    void ShowLine(const wchar_t* line) override;
    void ShowPosition(int position) override;

private:
    HWND m_details;
    HWND m_progress;
};
