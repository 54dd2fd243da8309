// Starting and stopping the module holder.
#include "tests/harness/module_holder.h"

#include "tests/harness/test_folder.h"

namespace test {

Holder::Holder(const std::wstring& modulePath, const std::wstring& program) {
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE childInput, childOutput, input, output;
    CreatePipe(&childInput, &input, &inherited, 0);
    CreatePipe(&output, &childOutput, &inherited, 0);
    m_input.Reset(input);
    m_output.Reset(output);
    SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = startup.hStdError = childOutput;
    const std::wstring holder = program.empty() ? ProgramBeside(L"SrModuleHolder.exe") : program;
    std::wstring command = L"\"" + holder + L"\" \"" + modulePath + L"\"";
    PROCESS_INFORMATION started = {};
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                       &startup, &started)) {
        m_process.Reset(started.hProcess);
        CloseHandle(started.hThread);
        m_id = started.dwProcessId;
    }
    CloseHandle(childInput);
    CloseHandle(childOutput);
    char said[16] = {};
    DWORD read = 0;
    ReadFile(output, said, sizeof said - 1, &read, nullptr);
    m_ready = std::string(said) == "ready\n";
}

Holder::~Holder() {
    m_input.Reset();
    if (m_process.Valid() && WaitForSingleObject(m_process.Get(), 20000) != WAIT_OBJECT_0) {
        TerminateProcess(m_process.Get(), 1);
    }
}

}  // namespace test
