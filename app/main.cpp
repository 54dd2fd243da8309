// The program's entry point: the one application object runs the whole program.
#include <windows.h>

#include "app/application.h"
#include "support/system_library.h"

static CSR_Install_BaseApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything is loaded: the program runs elevated from folders that others can write
    // to, so no DLL may be looked up there.
    RestrictDllSearch();
    return theApp.Run(instance);
}
