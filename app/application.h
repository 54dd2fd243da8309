// CSR_Install_BaseApp: the application object; InitInstance is the program's whole run.
#pragma once
#include "framework/application.h"
#include "run/run_context.h"

class CSR_Install_BaseApp : public fw::Application {
public:
    // The folder the process was started in, before it entered the system folder.
    void SetStartingFolder(const wchar_t* folder);

protected:
    BOOL InitInstance() override;

private:
    void RunMode(RunContext& run);

    wchar_t m_startingFolder[kPathChars] = {};
};
