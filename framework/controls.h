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

class ListView : public Window {
public:
    using Window::Window;
    int InsertColumn(int index, const wchar_t* heading, int width) const {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = width;
        column.pszText = const_cast<wchar_t*>(heading);
        column.iSubItem = index;
        return (int)SendMsg(LVM_INSERTCOLUMNW, index, (LPARAM)&column);
    }
    void SetExtendedStyle(DWORD style) const { SendMsg(LVM_SETEXTENDEDLISTVIEWSTYLE, style, style); }
    DWORD GetExtendedStyle() const { return (DWORD)SendMsg(LVM_GETEXTENDEDLISTVIEWSTYLE); }
    void SetSelectedColumn(int column) const { SendMsg(LVM_SETSELECTEDCOLUMN, column); }
    int InsertItem(int index, const wchar_t* text) const {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = const_cast<wchar_t*>(text);
        return (int)SendMsg(LVM_INSERTITEMW, 0, (LPARAM)&item);
    }
    void SetItemText(int index, int column, const wchar_t* text) const {
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = const_cast<wchar_t*>(text);
        SendMsg(LVM_SETITEMTEXTW, index, (LPARAM)&item);
    }
    std::wstring GetItemText(int index, int column) const {
        wchar_t text[260] = {};
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 260;
        SendMsg(LVM_GETITEMTEXTW, index, (LPARAM)&item);
        return text;
    }
    void Select(int index) const {
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMsg(LVM_SETITEMSTATE, index, (LPARAM)&item);
    }
    int GetSelected() const { return (int)SendMsg(LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED); }
    int GetItemCount() const { return (int)SendMsg(LVM_GETITEMCOUNT); }
    int GetColumnCount() const { return (int)SendMessageW((HWND)SendMsg(LVM_GETHEADER), HDM_GETITEMCOUNT, 0, 0); }
    void DeleteAllItems() const { SendMsg(LVM_DELETEALLITEMS); }
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
