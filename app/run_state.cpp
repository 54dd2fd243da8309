// The process-wide records.
#include "app/run_state.h"

RUNSTATE* g_runState = nullptr;
PACKAGECONFIG* g_packageConfig = nullptr;
INSTALLEDPACKAGE* g_installedPackage = nullptr;
