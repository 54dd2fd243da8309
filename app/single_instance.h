// One installer at a time: every mode shares one work folder, which a second instance would
// empty under the first one's feet.
#pragma once
#include <windows.h>

class SingleInstance {
public:
    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the machine-wide lock, waiting at most waitMs (the working copy of an
    // interactive run waits for the process that started it to end). False when another
    // installer holds it.
    bool Acquire(DWORD waitMs);

private:
    HANDLE m_mutex = nullptr;
    bool m_owned = false;
};
