// CSR_Install_BaseApp: the application object; InitInstance is the program's whole run.
#pragma once
#include "framework/application.h"

class CSR_Install_BaseApp : public fw::Application {
protected:
    BOOL InitInstance() override;

private:
    void RunMode();
    void ReleaseRecords();
};
