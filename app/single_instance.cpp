// The lock that keeps a second installer out.
#include "app/single_instance.h"

namespace {
const wchar_t kLockName[] = L"Global\\SRIMEInstallBase.WorkFolder";
}

SingleInstance::~SingleInstance() {
    if (m_owned) ReleaseMutex(m_mutex);
    if (m_mutex) CloseHandle(m_mutex);
}

bool SingleInstance::Acquire(DWORD waitMs) {
    if (!m_mutex) m_mutex = CreateMutexW(nullptr, FALSE, kLockName);
    if (!m_mutex) return true;  // without the lock the run goes on as it always did
    const DWORD waited = WaitForSingleObject(m_mutex, waitMs);
    // An installer that died still leaves the lock to the next one.
    m_owned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return m_owned;
}
