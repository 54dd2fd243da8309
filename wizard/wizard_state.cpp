// The wizard state of the run.
#include "wizard/wizard_state.h"

WIZARDSTATE g_wizardState = {{}, {}, 0, L"c:\\"};
