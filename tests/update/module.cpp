// A module that only carries resources, for the version-resource tests.
#include <windows.h>

extern "C" __declspec(dllexport) int SrTestModule() { return 1; }
