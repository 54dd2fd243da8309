// The program's entry point: the one application object runs the whole program.
#include <windows.h>

#include "app/application.h"

static CSR_Install_BaseApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return theApp.Run(instance); }
