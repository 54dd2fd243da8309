// The wizard state: what the pages carry between them for the whole run.
#pragma once

struct WIZARDSTATE {
    wchar_t userName[256];
    wchar_t companyName[256];
    int licenceAccepted;
    wchar_t destination[260];  // with its trailing backslash once the destination page set it
};

// Where the destination page starts when nothing is installed: the state starts empty but for
// this, and is never reset while the process runs.
constexpr wchar_t kFirstDestination[] = L"c:\\";
