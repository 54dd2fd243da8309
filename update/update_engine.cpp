// ZERAVIzider: the update list, the selection and the update of one component.
#include "update/update_engine.h"

#include <cstring>
#include <cwchar>

#include "run/folders.h"
#include "framework/handles.h"
#include "framework/internet_handle.h"
#include "payload/cabinet.h"
#include "payload/mapfile.h"
#include "support/bounded_text.h"
#include "support/path.h"
#include "support/system_library.h"
#include "support/text_reader.h"
#include "update/catalogue.h"
#include "run/registry_layout.h"

#ifndef SR_UPDATE_SERVER
#define SR_UPDATE_SERVER L"https://update.vexal.example"
#endif


namespace {

constexpr DWORD kChunkBytes = 511;

// WinINet, loaded when the first download needs it. Linked at start it would lengthen the start
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

// The default entry of a catalogue; null when it has none. Offsets that would lead outside
// the file are skipped rather than followed.
const CATALOGUEENTRY* FindDefaultEntry(const BYTE* bytes, DWORD size) {
    if (size < kCatalogueOffsets) return nullptr;
    const DWORD count = bytes[0];
    for (DWORD i = 0; i < count; ++i) {
        const DWORD slot = kCatalogueOffsets + 4 * i;
        if (slot + 4 > size) break;
        DWORD offset;
        memcpy(&offset, bytes + slot, 4);
        if (offset > size || size - offset < sizeof(CATALOGUEENTRY) || offset % 2) continue;
        const CATALOGUEENTRY* entry = reinterpret_cast<const CATALOGUEENTRY*>(bytes + offset);
        if (wcsnlen(entry->name, 627) < 627 && _wcsicmp(entry->name, kDefaultCatalogueEntry) == 0) return entry;
    }
    return nullptr;
}

void CopyDriverName(wchar_t (&out)[40], const wchar_t* field, size_t units) {
    const size_t length = wcsnlen(field, units);
    const size_t kept = length < 39 ? length : 39;
    wmemcpy(out, field, kept);
    out[kept] = 0;
}

// The server part of an address: "http://" or "https://", a host, an optional ":port", and
// nothing after it but an optional "/".
bool IsServerAddress(const wchar_t* text) {
    const wchar_t* host = nullptr;
    if (_wcsnicmp(text, L"http://", 7) == 0) host = text + 7;
    if (_wcsnicmp(text, L"https://", 8) == 0) host = text + 8;
    if (!host) return false;
    const wchar_t* at = host;
    while (*at && (iswalnum(*at) || *at == L'.' || *at == L'-')) ++at;
    if (at == host) return false;
    if (*at == L':') {
        const wchar_t* digits = ++at;
        while (iswdigit(*at)) ++at;
        if (at == digits || at - digits > 5) return false;
    }
    return *at == 0 || (at[0] == L'/' && at[1] == 0);
}

bool ReadServerValue(HKEY root, const wchar_t* key, wchar_t* out, size_t count) {
    fw::RegKey vendor;
    if (!vendor.Open(root, key, KEY_READ)) return false;
    wchar_t value[128] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(vendor.Get(), kUpdateServerValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) !=
            ERROR_SUCCESS || type != REG_SZ || !IsServerAddress(value)) {
        return false;
    }
    const size_t length = wcslen(value);
    if (value[length - 1] == L'/') value[length - 1] = 0;
    CopyCut(out, count, value);
    return true;
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

ZERAVIzider::ZERAVIzider()
    : m_packageName{}, m_installFolder{}, m_imeDriver{}, m_tableDriver{}, m_skinDriver{}, m_systemFolder{},
      m_tempFolder{} {}

void ZERAVIzider::Notify(const wchar_t* text) const {
    UPDATEMSG notification;
    if (!m_message) return;
    notification.text = text;
    notification.number = 0;
    m_message(notification, m_context);
}

void ZERAVIzider::ReportProgress() const {
    UPDATEMSG notification;
    if (!m_progress) return;
    notification.text = nullptr;
    notification.number = static_cast<int32_t>(m_downloadedBytes.load());
    m_progress(notification, m_context);
}

bool ZERAVIzider::InitUpdate(UpdateCallback progress, UpdateCallback message, void* context) {
    m_progress = progress;
    m_message = message;
    m_context = context;
    const UINT system = GetSystemDirectoryW(m_systemFolder, MAX_PATH);
    if (system == 0 || system >= MAX_PATH) {
        m_systemFolder[0] = 0;
        Notify(L"获取系统路径失败");
        return false;
    }
    EnsureBackslash(m_systemFolder, MAX_PATH);
    const DWORD temp = GetTempPathW(MAX_PATH, m_tempFolder);
    if (temp == 0 || temp >= MAX_PATH) {
        m_tempFolder[0] = 0;
        Notify(L"获取系统临时路径失败");
        return false;
    }
    EnsureBackslash(m_tempFolder, MAX_PATH);
    return true;
}

bool ZERAVIzider::DownloadFile(const wchar_t* address, const wchar_t* path, DWORD maxBytes) {
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
            ReportProgress();
        }
    }
    if (lengthKnown && received != announced) return false;
    target.Keep();
    return true;
}

int ZERAVIzider::LoadUpdateList(const wchar_t* packageName) {
    if (!packageName || !packageName[0]) return 0;
    CopyCut(m_packageName, packageName);
    if (!GetInstallPath(m_packageName, m_installFolder)) {
        Notify(L"无法获取指定名称的输入法安装目录");
        return 0;
    }
    if (!ReadDriverNames()) {
        Notify(L"无法获取指定名称的输入法的配置信息");
        return 0;
    }
    m_updateList.clear();
    m_selected.clear();

    wchar_t server[128], address[128], listFile[MAX_PATH];
    GetUpdateServer(m_packageName, server, 128);
    FormatCut(address, 128, L"%s%s", server, kUpdateListPath);
    FormatCut(listFile, MAX_PATH, L"%s_srUpdateList.txt", m_tempFolder);
    if (!DownloadFile(address, listFile, kMaxUpdateListBytes)) {
        Notify(L"下载索拉输入系统更新信息失败！");
        return 0;
    }
    READTEXT reader;
    if (!reader.LoadFile(listFile)) return 0;
    return ParseUpdateList(reader.Text(), reader.TextLength());
}

bool ZERAVIzider::ReadDriverNames() {
    wchar_t path[MAX_PATH];
    if (!GetPackageDataFolder(path, m_packageName)) return false;
    wcsncat(path, L"config.dsc", MAX_PATH - wcslen(path) - 1);
    // Only read: a catalogue the user may not write is still read.
    SR_MapFileIO catalogue;
    if (!catalogue.OpenFile(path, 0)) return false;
    const CATALOGUEENTRY* entry = FindDefaultEntry(catalogue.GetData(0), catalogue.GetSize());
    if (!entry) return false;
    CopyDriverName(m_tableDriver, entry->tableDriver, 120);
    CopyDriverName(m_imeDriver, entry->imeDriver, 44);
    CopyDriverName(m_skinDriver, entry->skinDriver, 40);
    return true;
}

int ZERAVIzider::ParseUpdateList(const wchar_t* text, int length) {
    UPDATEITEM item = {};
    wchar_t line[kMaxLineUnits + 1];
    int position = 0;
    // A remainder of 3 units or fewer is never read as a line.
    while (text && position < length - 3) {
        const int consumed = ReadTextLine(line, text + position);
        if (consumed == 0) break;
        position += consumed;
        wchar_t key[128], value[512];
        for (int at = 0, used; (used = ScanTag(line + at, key, value)) != 0; at += used) {
            if (_wcsicmp(key, L"TYPE") == 0) {
                item.type = ComponentTypeFromTag(value);
            } else if (_wcsicmp(key, L"NAME") == 0) {
                CopyCut(item.name, value);
            } else if (_wcsicmp(key, L"VERSION") == 0) {
                item.offeredVersion = ParseVersion(value);
            } else if (_wcsicmp(key, L"SAVEPATH") == 0) {
                CopyCut(item.targetPath, value);
            } else if (_wcsicmp(key, L"CABURL") == 0) {
                CopyCut(item.cabinetUrl, value);
            } else {
                Notify(L"未知的更新标识！");
            }
        }
        // Fields a line leaves out keep the values of the line before.
        m_updateList.push_back(item);
    }
    return static_cast<int>(m_updateList.size());
}

bool GetInstallPath(const wchar_t* packageName, wchar_t* folder) {
    if (!ReadInstallPath(packageName, folder) || !folder[0]) return false;
    EnsureBackslash(folder, MAX_PATH);
    return true;
}

int ScanTag(const wchar_t* text, wchar_t* key, wchar_t* value) {
    const wchar_t* open = wcschr(text, L'<');
    const wchar_t* close = open ? wcschr(open, L'>') : nullptr;
    if (!close) return 0;
    const wchar_t* tag = open + 1;
    const wchar_t* equals = static_cast<const wchar_t*>(wmemchr(tag, L'=', close - tag));
    auto copyPart = [](wchar_t* out, size_t count, const wchar_t* from, const wchar_t* to) {
        const size_t length = static_cast<size_t>(to - from) < count - 1 ? static_cast<size_t>(to - from) : count - 1;
        wmemcpy(out, from, length);
        out[length] = 0;
    };
    if (equals) {
        copyPart(key, 128, tag, equals);
        copyPart(value, 512, equals + 1, close);
    } else {
        copyPart(key, 128, tag, close);
        CopyCut(value, 512, L"auto");
    }
    return static_cast<int>(close - text + 1);
}

void GetUpdateServer(const wchar_t* packageName, wchar_t* server, size_t count) {
    wchar_t key[128];
    VendorKeyOf(packageName, key, 128);
    // The machine's value alone: any process of the user can write the user's own, and the
    // server chooses what the elevated updater installs.
    if (ReadServerValue(HKEY_LOCAL_MACHINE, key, server, count)) return;
    CopyCut(server, count, SR_UPDATE_SERVER);
}
