// Control wrappers: one small class per control, one message per method.
#pragma once
#include <commctrl.h>
#include <string>
#include <vector>

#include "framework/window.h"

namespace fw {

class ListBox : public Window {
public:
    using Window::Window;
    int AddString(const wchar_t* text) const { return (int)SendMsg(LB_ADDSTRING, 0, (LPARAM)text); }
    int GetCount() const { return (int)SendMsg(LB_GETCOUNT); }
    int GetCurSel() const { return (int)SendMsg(LB_GETCURSEL); }
    void SetCurSel(int index) const { SendMsg(LB_SETCURSEL, index); }
    void ResetContent() const { SendMsg(LB_RESETCONTENT); }
    std::wstring GetItemText(int index) const {
        std::vector<wchar_t> text(SendMsg(LB_GETTEXTLEN, index) + 1);
        SendMsg(LB_GETTEXT, index, (LPARAM)text.data());
        return text.data();
    }
};

class ProgressBar : public Window {
public:
    using Window::Window;
    void SetRange(int low, int high) const { SendMsg(PBM_SETRANGE32, low, high); }
    int SetPos(int pos) const { return (int)SendMsg(PBM_SETPOS, pos); }
    int GetPos() const { return (int)SendMsg(PBM_GETPOS); }
    int GetRangeHigh() const { return (int)SendMsg(PBM_GETRANGE, FALSE, 0); }
};

class Edit : public Window {
public:
    using Window::Window;
    void SetReadOnly(bool on) const { SendMsg(EM_SETREADONLY, on); }
    void LimitText(int count) const { SendMsg(EM_LIMITTEXT, count); }
};

class Button : public Window {
public:
    using Window::Window;
    void Click() const { SendMsg(BM_CLICK); }
    bool IsChecked() const { return SendMsg(BM_GETCHECK) == BST_CHECKED; }
    void SetCheck(bool on) const { SendMsg(BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED); }
};

}  // namespace fw
