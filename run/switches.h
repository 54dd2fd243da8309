// The switches of unattended runs, and the exit codes that deployment tools read from them.
#pragma once
#include "run/run_state.h"

// Win32 error codes, as installers report them.
constexpr int kExitInstalled = 0;
constexpr int kExitRestartNeeded = 3010;      // ERROR_SUCCESS_REBOOT_REQUIRED
constexpr int kExitBadPackage = 1620;         // ERROR_INSTALL_PACKAGE_INVALID
constexpr int kExitFailed = 1603;             // ERROR_INSTALL_FAILURE
constexpr int kExitInUse = 32;                // ERROR_SHARING_VIOLATION
constexpr int kExitAnotherInstaller = 1618;   // ERROR_INSTALL_ALREADY_RUNNING
constexpr int kExitBadSwitch = 1639;          // ERROR_INVALID_COMMAND_LINE

struct UNATTENDED {
    bool silent;                     // /S
    bool forceClose;                 // /FORCECLOSE
    bool malformed;                  // a switch of ours without its value, an unterminated quote, or
                                     // a /D= folder that the installation-folder rule does not let
                                     // an install use
    wchar_t folder[kPathChars];      // /D=, with its trailing backslash
    wchar_t userName[128];           // /USER=
    wchar_t companyName[128];        // /COMPANY=
    wchar_t logPath[kPathChars];     // /LOG=
};
