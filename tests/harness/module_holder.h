// A process that holds modules: SrModuleHolder, started on module paths. It is ready once it
// has said so, and it goes when the pipe of its standard input is closed.
#pragma once
#include <windows.h>

#include <string>

#include "framework/handles.h"

namespace test {

class Holder {
public:
    // program: a copy of SrModuleHolder.exe elsewhere; empty: the one beside the tests.
    explicit Holder(const std::wstring& modulePath, const std::wstring& program = std::wstring());
    ~Holder();
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    bool Ready() const { return m_ready; }
    DWORD Id() const { return m_id; }
    HANDLE Process() const { return m_process.Get(); }

private:
    fw::UniqueHandle m_process, m_input, m_output;
    DWORD m_id = 0;
    bool m_ready = false;
};

}  // namespace test
