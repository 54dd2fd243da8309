// The owner of a WinINet handle: a session or a request, closed when its owner goes.
#pragma once
#include <windows.h>
#include <wininet.h>

namespace fw {

class InternetHandle {
public:
    // The program may load WinINet at run time, so the owner is told how to close.
    using Closer = BOOL(WINAPI*)(HINTERNET);

    InternetHandle(HINTERNET h, Closer close) : m_h(h), m_close(close) {}
    ~InternetHandle() { if (m_h) m_close(m_h); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET Get() const { return m_h; }

private:
    HINTERNET m_h;
    Closer m_close;
};

}  // namespace fw
