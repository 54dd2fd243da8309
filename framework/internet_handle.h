// The owner of a WinINet handle: a session or a request, closed when its owner goes.
#pragma once
#include <windows.h>
#include <wininet.h>

namespace fw {

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET h = nullptr) : m_h(h) {}
    ~InternetHandle() { if (m_h) InternetCloseHandle(m_h); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET Get() const { return m_h; }

private:
    HINTERNET m_h;
};

}  // namespace fw
