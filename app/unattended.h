// Reading the switches of unattended runs from the command line.
#pragma once
#include <windows.h>

#include "run/switches.h"

// Reads the switches from the arguments before the relaunch's "file=" part. Tokens that are
// not ours ("-u", "name=[X]") are left to the command-line parser. A value with blanks is
// quoted around the value (/D="C:\Program Files\X") or around the whole switch
// ("/D=C:\Program Files\X"). Switch names are matched without regard to case.
// A relative /LOG= is made full against startingFolder.
void ParseUnattendedSwitches(const wchar_t* arguments, UNATTENDED& switches, const wchar_t* startingFolder = L"");
