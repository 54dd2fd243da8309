// Downloader: one address into one new file over WinINet, which the first download loads.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

class Downloader {
public:
    // Told, after each chunk, the bytes received by all of this downloader's downloads.
    using ProgressCallback = void (*)(uint32_t total, void* context);

    // Bytes are counted, and reported, only while a callback is set.
    void SetProgress(ProgressCallback progress, void* context) {
        m_progress = progress;
        m_context = context;
    }

    // Downloads address into path; false on any failure, also on a transfer that breaks off
    // or ends short of its announced length, and on a body longer than maxBytes (0: no
    // bound); the partial file is then removed.
    bool DownloadFile(const wchar_t* address, const wchar_t* path, DWORD maxBytes = 0);

    // Asks a running download to stop at its next chunk.
    void RequestStop() { m_stopRequested = true; }
    void ClearStop() { m_stopRequested = false; }
    bool StopRequested() const { return m_stopRequested; }
    // How long a download waits for data before it fails.
    void SetReceiveTimeout(DWORD milliseconds) { m_receiveTimeout = milliseconds; }

    // Bytes received by all of this downloader's downloads; never reset.
    uint32_t DownloadedBytes() const { return m_downloadedBytes.load(); }

private:
    ProgressCallback m_progress = nullptr;
    void* m_context = nullptr;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<uint32_t> m_downloadedBytes{0};
    DWORD m_receiveTimeout = 30000;
};
