#include "wizard/dialog_progress.h"

#include <commctrl.h>

#include "res/resource.h"

DialogProgress::DialogProgress(HWND dialog)
    : m_details(GetDlgItem(dialog, IDC_DETAILS)), m_progress(GetDlgItem(dialog, IDC_PROGRESS)) {}

void DialogProgress::ShowLine(const wchar_t* line) {
    if (!m_details) return;
    const LRESULT index = SendMessageW(m_details, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    SendMessageW(m_details, LB_SETCURSEL, index, 0);
}

void DialogProgress::ShowPosition(int position) {
    if (m_progress) SendMessageW(m_progress, PBM_SETPOS, position, 0);
}
