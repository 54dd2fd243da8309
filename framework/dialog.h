// Dialog: a modal dialog from a template, dispatching to plain virtual handlers.
#pragma once
#include <windows.h>

#include "framework/window.h"

namespace fw {

class Dialog : public Window {
public:
    explicit Dialog(UINT templateId) : m_templateId(templateId) {}
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns what EndDialog was given, or -1 when the
    // template cannot be loaded.
    INT_PTR DoModal(HWND owner = nullptr);

    // Ends the modal loop with `result`; the dialog is hidden at once.
    void EndDialog(INT_PTR result) const { ::EndDialog(m_hwnd, result); }

    UINT TemplateId() const { return m_templateId; }

protected:
    // WM_INITDIALOG: return TRUE to let the system set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND: return true when handled. The default sends IDOK and IDCANCEL
    // to OnOK and OnCancel.
    virtual bool OnCommand(WORD code, WORD id, HWND control);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void OnTimer(UINT_PTR /*id*/) {}
    // Any other message: return true and set `result` when handled.
    virtual bool OnMessage(UINT /*msg*/, WPARAM, LPARAM, INT_PTR& /*result*/) { return false; }
    virtual void OnDestroy() {}

private:
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    UINT m_templateId;
};

}  // namespace fw
