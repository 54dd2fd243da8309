// Window: a non-owning HWND holder with the one-message operations the program uses.
#pragma once
#include <windows.h>
#include <string>

namespace fw {

class Window {
public:
    Window(HWND hwnd = nullptr) : m_hwnd(hwnd) {}

    HWND Handle() const { return m_hwnd; }
    explicit operator bool() const { return m_hwnd != nullptr; }

    LRESULT SendMsg(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return SendMessageW(m_hwnd, msg, wp, lp); }
    Window Item(int id) const { return Window(GetDlgItem(m_hwnd, id)); }

    std::wstring GetText() const;
    void SetText(const wchar_t* text) const { SetWindowTextW(m_hwnd, text); }
    void Enable(bool on) const { EnableWindow(m_hwnd, on); }
    bool IsEnabled() const { return IsWindowEnabled(m_hwnd) != 0; }
    void Show(int how) const { ShowWindow(m_hwnd, how); }
    bool IsVisible() const { return IsWindowVisible(m_hwnd) != 0; }

    // Sets icon resource `id` of the program as the large and the small icon.
    void SetIcons(int id) const;

protected:
    HWND m_hwnd;
};

}  // namespace fw
