// The read-ahead of the keyed extraction: two windows of the deciphered file, the worker
// filling one while the reader takes from the other.
#include "payload/read_ahead.h"

#include <cstring>

#include "payload/container.h"

namespace Cabinet {

namespace {

class Lock {
public:
    explicit Lock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~Lock() { ReleaseSRWLockExclusive(&m_lock); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    SRWLOCK& m_lock;
};

}  // namespace

ReadAhead::ReadAhead(const BLOWFISH& cipher) : m_cipher(cipher) {}

ReadAhead::~ReadAhead() { Stop(); }

bool ReadAhead::Start(WindowSource& source, DWORD fileSize, BYTE* buffer) {
    Stop();
    m_source = &source;
    m_buffer = buffer;
    m_fileSize = fileSize;
    m_wholeEnd = fileSize & ~DWORD(kContainerBlockSize - 1);
    m_windows[0] = m_windows[1] = Window();
    m_stop = false;
    m_thread = CreateThread(nullptr, 0, WorkerMain, this, 0, nullptr);
    return m_thread != nullptr;
}

void ReadAhead::Stop() {
    if (!m_thread) return;
    {
        Lock hold(m_lock);
        m_stop = true;
        WakeAllConditionVariable(&m_changed);
    }
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
    m_windows[0] = m_windows[1] = Window();
}

void ReadAhead::Suspend() {
    if (!m_thread) return;
    Lock hold(m_lock);
    WaitWhileFilling();
    m_windows[0] = m_windows[1] = Window();
}

// The worker

DWORD WINAPI ReadAhead::WorkerMain(void* self) {
    static_cast<ReadAhead*>(self)->Work();
    return 0;
}

void ReadAhead::Work() {
    Lock hold(m_lock);
    while (!m_stop) {
        // The window that the reader will reach first.
        Window* next = nullptr;
        for (Window& w : m_windows) {
            if (w.state == State::kWanted && (!next || w.start < next->start)) next = &w;
        }
        if (!next) {
            SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
            continue;
        }
        next->state = State::kFilling;
        const DWORD start = next->start;
        ReleaseSRWLockExclusive(&m_lock);
        const int length = Fill(start, Half(*next));
        AcquireSRWLockExclusive(&m_lock);
        next->length = length < 0 ? 0 : static_cast<DWORD>(length);
        next->state = length < 0 ? State::kFailed : State::kReady;
        WakeAllConditionVariable(&m_changed);
    }
}

// Reads and deciphers the whole blocks of the window at start; -1 when the file gives fewer
// bytes than its size promised.
int ReadAhead::Fill(DWORD start, BYTE* half) {
    const DWORD length = m_wholeEnd - start < kWindowSize ? m_wholeEnd - start : kWindowSize;
    for (DWORD done = 0; done < length;) {
        const int got = m_source->ReadAt(start + done, half + done, length - done);
        if (got <= 0) return -1;
        done += static_cast<DWORD>(got);
    }
    DWORD plain = start < kContainerPlainBytes ? static_cast<DWORD>(kContainerPlainBytes) - start : 0;
    if (plain > length) plain = length;
    BlowfishDecipher(m_cipher, half + plain, length - plain);
    return static_cast<int>(length);
}

// The reader

ReadAhead::Window* ReadAhead::Covering(DWORD position) {
    for (Window& w : m_windows) {
        if (w.state != State::kFree && position >= w.start && position - w.start < kWindowSize) return &w;
    }
    return nullptr;
}

void ReadAhead::WaitWhileFilling() {
    while (m_windows[0].state == State::kFilling || m_windows[1].state == State::kFilling) {
        SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
    }
}

void ReadAhead::Want(Window& window, DWORD start) {
    window.start = start;
    window.length = 0;
    // Past the last whole block there is nothing to decipher.
    window.state = start < m_wholeEnd ? State::kWanted : State::kFree;
}

void ReadAhead::Restart(DWORD position) {
    // The worker may be writing into either half.
    WaitWhileFilling();
    const DWORD start = position & ~DWORD(kContainerBlockSize - 1);
    Want(m_windows[0], start);
    Want(m_windows[1], start + kWindowSize);
    WakeAllConditionVariable(&m_changed);
}

bool ReadAhead::Read(DWORD position, BYTE* out, DWORD count) {
    if (count == 0) return true;
    // As when deciphering on demand: a byte in the last, incomplete block cannot be had.
    if (!m_thread || position >= m_wholeEnd || count > m_wholeEnd - position) return false;
    Lock hold(m_lock);
    while (count) {
        Window* w = Covering(position);
        if (!w) {
            Restart(position);
            continue;
        }
        while (w->state == State::kWanted || w->state == State::kFilling) {
            SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
        }
        if (w->state != State::kReady || position - w->start >= w->length) return false;
        const DWORD end = w->start + w->length;
        const DWORD piece = end - position < count ? end - position : count;
        // A ready window is the reader's alone: the worker writes only into wanted ones.
        ReleaseSRWLockExclusive(&m_lock);
        memcpy(out, Half(*w) + (position - w->start), piece);
        AcquireSRWLockExclusive(&m_lock);
        position += piece;
        out += piece;
        count -= piece;
        if (position == end) {
            // Passed: the half takes the window after the other one.
            Window& other = m_windows[w == m_windows ? 1 : 0];
            if (other.state != State::kFree && other.start == end) {
                Want(*w, end + kWindowSize);
                WakeAllConditionVariable(&m_changed);
            }
        }
    }
    return true;
}

}  // namespace Cabinet
