// The dialog procedure: `this` lives in the dialog's user data from WM_INITDIALOG on.
#include "framework/dialog.h"

#include <cstdio>

namespace fw {

namespace {

// The messages whose result a dialog procedure returns itself rather than through
// DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT msg) {
    return msg == WM_QUERYDRAGICON || msg == WM_COMPAREITEM || msg == WM_VKEYTOITEM || msg == WM_CHARTOITEM ||
           (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC);
}

}  // namespace

INT_PTR Dialog::DoModal(HWND owner) {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool Dialog::OnCommand(WORD /*code*/, WORD id, HWND /*control*/) {
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

INT_PTR Dialog::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(HIWORD(wp), LOWORD(wp), reinterpret_cast<HWND>(lp));
    case WM_TIMER:
        OnTimer(wp);
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default: {
        INT_PTR result = 0;
        if (!OnMessage(msg, wp, lp, result)) return FALSE;
        if (ReturnsResultDirectly(msg)) return result;
        SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    }
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;  // messages before WM_INITDIALOG (WM_SETFONT and the like)
    // No exception may cross into the window manager; the run ends like a failed dialog.
    try {
        INT_PTR r = self->Dispatch(msg, wp, lp);
        if (msg == WM_NCDESTROY) self->m_hwnd = nullptr;
        return r;
    } catch (const char* text) {
        OutputDebugStringA(text);
    } catch (...) {
        OutputDebugStringA("unexpected exception in a dialog handler");
    }
    ::EndDialog(hwnd, -1);
    return TRUE;
}

}  // namespace fw
