// Downloader: the transfer of one address into a file, and WinINet loaded when it is first needed.
#include "update/download.h"

#include <cwchar>

#include "framework/handles.h"
#include "framework/internet_handle.h"
#include "support/system_library.h"

namespace {

constexpr DWORD kChunkBytes = 511;

// WinInet, loaded when the first download needs it. Linked at start it would lengthen the start
// and the end of every run of the program, whatever its mode, and the working copy's
// self-deletion races the end of its process.
struct WinInetApi {
    decltype(&InternetOpenW) open = nullptr;
    decltype(&InternetOpenUrlW) openUrl = nullptr;
    decltype(&InternetSetOptionW) setOption = nullptr;
    decltype(&HttpQueryInfoW) queryInfo = nullptr;
    decltype(&InternetReadFile) read = nullptr;
    decltype(&InternetCloseHandle) close = nullptr;

    bool Loaded() const { return open && openUrl && setOption && queryInfo && read && close; }
};

const WinInetApi& WinInet() {
    static const WinInetApi api = [] {
        WinInetApi found;
        // Kept loaded for the rest of the process.
        static LoadedLibrary library;
        if (library.LoadSystem(L"wininet.dll")) {
            library.Bind("InternetOpenW", found.open);
            library.Bind("InternetOpenUrlW", found.openUrl);
            library.Bind("InternetSetOptionW", found.setOption);
            library.Bind("HttpQueryInfoW", found.queryInfo);
            library.Bind("InternetReadFile", found.read);
            library.Bind("InternetCloseHandle", found.close);
        }
        return found;
    }();
    return api;
}

// A new file, removed at the end unless kept.
class DownloadTarget {
public:
    explicit DownloadTarget(const wchar_t* path)
        : m_path(path),
          m_file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~DownloadTarget() {
        if (!m_keep && m_file.Valid()) {
            m_file.Reset();
            DeleteFileW(m_path);
        }
    }
    DownloadTarget(const DownloadTarget&) = delete;
    DownloadTarget& operator=(const DownloadTarget&) = delete;

    bool Valid() const { return m_file.Valid(); }
    bool Write(const void* bytes, DWORD count) {
        DWORD written = 0;
        return WriteFile(m_file.Get(), bytes, count, &written, nullptr) && written == count;
    }
    void Keep() { m_keep = true; }

private:
    const wchar_t* m_path;
    fw::UniqueHandle m_file;
    bool m_keep = false;
};

}  // namespace

bool Downloader::DownloadFile(const wchar_t* address, const wchar_t* path, DWORD maxBytes) {
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES && !DeleteFileW(path)) return false;
    const WinInetApi& net = WinInet();
    if (!net.Loaded()) return false;
    fw::InternetHandle session(net.open(L"Tolvek/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0), net.close);
    if (!session.Get()) return false;
    // A server that stops sending fails the download instead of holding the worker forever.
    net.setOption(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &m_receiveTimeout, sizeof m_receiveTimeout);
    fw::InternetHandle request(
        net.openUrl(session.Get(), address, nullptr, 0, INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD, 0),
        net.close);
    if (!request.Get()) return false;
    net.setOption(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &m_receiveTimeout, sizeof m_receiveTimeout);
    wchar_t status[5] = {};
    DWORD statusBytes = 10;
    if (!net.queryInfo(request.Get(), HTTP_QUERY_STATUS_CODE, status, &statusBytes, nullptr) ||
        wcscmp(status, L"200") != 0) {
        return false;
    }
    DWORD announced = 0, announcedBytes = sizeof announced;
    const bool lengthKnown = net.queryInfo(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                           &announced, &announcedBytes, nullptr) != FALSE;
    if (maxBytes && lengthKnown && announced > maxBytes) return false;
    DownloadTarget target(path);
    if (!target.Valid()) return false;
    DWORD received = 0;
    for (;;) {
        if (m_stopRequested) return false;
        BYTE chunk[kChunkBytes];
        DWORD count = 0;
        // A failed read is a broken transfer, not the end of the data.
        if (!net.read(request.Get(), chunk, kChunkBytes, &count)) return false;
        if (count == 0) break;
        if (maxBytes && count > maxBytes - received) return false;
        if (!target.Write(chunk, count)) return false;
        received += count;
        if (m_progress) {
            m_downloadedBytes += count;
            m_progress(m_downloadedBytes.load(), m_context);
        }
    }
    if (lengthKnown && received != announced) return false;
    target.Keep();
    return true;
}
