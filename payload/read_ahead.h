// ReadAhead: serves the keyed reads of one enciphered cabinet from deciphered windows, while a
// worker thread reads and deciphers the window after them on the other processor.
#pragma once
#include <windows.h>

#include "payload/blowfish.h"

namespace Cabinet {

constexpr DWORD kDecipherBufferSize = 65536;

// Where the worker reads the enciphered file from.
class WindowSource {
public:
    // Reads count bytes at an absolute position; the number read, fewer at the end of the
    // file, -1 on failure.
    virtual int ReadAt(DWORD position, BYTE* out, DWORD count) = 0;

protected:
    ~WindowSource() = default;
};

// The decipher buffer is cut into two windows of the file, one after the other: the reader
// copies out of the front one while the worker fills the back one; once the reader has passed
// the front window, that half is filled again with the window after the back one. A read
// outside both windows (a seek backwards, or far ahead) waits for the worker, then starts both
// windows again from there.
class ReadAhead {
public:
    static constexpr DWORD kWindowSize = kDecipherBufferSize / 2;

    explicit ReadAhead(const BLOWFISH& cipher);
    ~ReadAhead();  // stops the worker
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Starts the worker over a file of fileSize bytes, in buffer (kDecipherBufferSize bytes).
    // False when the thread cannot be had: the caller then deciphers on demand.
    bool Start(WindowSource& source, DWORD fileSize, BYTE* buffer);
    bool Running() const { return m_thread != nullptr; }
    DWORD FileSize() const { return m_fileSize; }

    // The plain bytes [position, position + count): true with all of them, false when any of
    // them lies past the file's last whole block or cannot be read.
    bool Read(DWORD position, BYTE* out, DWORD count);

    // Waits until the worker is idle and forgets both windows: until the next Read the buffer
    // is the caller's.
    void Suspend();
    // Ends the worker once it has finished the window that it is filling.
    void Stop();

private:
    enum class State { kFree, kWanted, kFilling, kReady, kFailed };
    struct Window {
        DWORD start = 0;
        DWORD length = 0;  // bytes deciphered, fewer than a window's at the end of the file
        State state = State::kFree;
    };

    static DWORD WINAPI WorkerMain(void* self);
    void Work();
    int Fill(DWORD start, BYTE* half);
    Window* Covering(DWORD position);
    void WaitWhileFilling();
    void Want(Window& window, DWORD start);
    void Restart(DWORD position);
    BYTE* Half(const Window& window) { return m_buffer + (&window - m_windows) * kWindowSize; }

    const BLOWFISH& m_cipher;
    WindowSource* m_source = nullptr;
    BYTE* m_buffer = nullptr;
    DWORD m_fileSize = 0;
    DWORD m_wholeEnd = 0;  // the end of the file's last whole block
    Window m_windows[2];
    bool m_stop = false;
    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_changed = CONDITION_VARIABLE_INIT;  // a window's state or m_stop changed
    HANDLE m_thread = nullptr;
};

}  // namespace Cabinet
