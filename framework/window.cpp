// Window operations that need more than one call.
#include "framework/window.h"

#include <vector>

namespace fw {

std::wstring Window::GetText() const {
    int length = GetWindowTextLengthW(m_hwnd);
    std::vector<wchar_t> text(length + 1);
    int got = GetWindowTextW(m_hwnd, text.data(), length + 1);
    return std::wstring(text.data(), got);
}

void Window::SetIcons(int id) const {
    HINSTANCE module = GetModuleHandleW(nullptr);
    HICON big = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
    HICON small = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    SendMsg(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMsg(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

}  // namespace fw
