// RUNSTATE: the paths and the mode of one run.
#pragma once
#include "payload/records.h"

constexpr int kPathChars = 260;  // every path slot; a formatted path is cut at 259 characters

struct RUNSTATE {
    wchar_t ownPath[kPathChars];      // the running executable
    wchar_t startedPath[kPathChars];  // "file=" of the command line; in install mode the temporary copy
    wchar_t workFolder[kPathChars];   // with a trailing backslash
    wchar_t payloadFile[kPathChars];  // "srinstallbaseexe.cab" in the work folder
    wchar_t bareProgram[kPathChars];  // "unstall.exe" in the work folder
    wchar_t commandLine[kPathChars];  // the text the parser reads
    wchar_t mode;                     // 0 install, 'U', 'R' or 'G'
    wchar_t payloadFolder[kPathChars];  // "SR_INSTALL\" in the work folder
};

constexpr wchar_t kModeInstall = 0;
constexpr wchar_t kModeUninstall = L'U';
constexpr wchar_t kModeRepair = L'R';
constexpr wchar_t kModeUpdate = L'G';
