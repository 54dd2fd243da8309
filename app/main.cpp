// The program's entry point: the one application object runs the whole program.
#include <windows.h>

#include "app/application.h"
#include "app/startup.h"
#include "support/system_library.h"

static CSR_Install_BaseApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything is loaded or opened: the program runs elevated from folders that others
    // can write to, so no DLL and no relative name may be looked up there.
    RestrictDllSearch();
    wchar_t startingFolder[kPathChars];
    EnterSystemFolder(startingFolder);
    theApp.SetStartingFolder(startingFolder);
    return theApp.Run(instance);
}
