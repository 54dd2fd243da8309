// ZERAVIzider: its start, its messages, and what it reads of the installed package.
#include "update/update_engine.h"

#include <cstring>
#include <cwchar>

#include "payload/mapfile.h"
#include "run/access.h"
#include "run/folders.h"
#include "run/registry_layout.h"
#include "support/path.h"
#include "update/catalogue.h"

namespace {

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

// The run's own temporary folder, "<temp>SRIMEUpdate.<random>\".
constexpr wchar_t kUpdateFolderPrefix[] = L"SRIMEUpdate.";

void CopyDriverName(wchar_t (&out)[40], const wchar_t* field, size_t units) {
    const size_t length = wcsnlen(field, units);
    const size_t kept = length < 39 ? length : 39;
    wmemcpy(out, field, kept);
    out[kept] = 0;
}

}  // namespace

ZERAVIzider::ZERAVIzider()
    : m_packageName{}, m_installFolder{}, m_imeDriver{}, m_tableDriver{}, m_skinDriver{}, m_systemFolder{},
      m_tempFolder{} {}

ZERAVIzider::~ZERAVIzider() {
    if (m_tempFolder[0]) RemoveFolder(m_tempFolder);
}

void ZERAVIzider::Notify(const wchar_t* text) const {
    UPDATEMSG notification;
    if (!m_message) return;
    notification.text = text;
    notification.number = 0;
    m_message(notification, m_context);
}

void ZERAVIzider::ReportProgress(uint32_t total, void* engine) {
    const ZERAVIzider& self = *static_cast<const ZERAVIzider*>(engine);
    UPDATEMSG notification;
    notification.text = nullptr;
    notification.number = static_cast<int32_t>(total);
    self.m_progress(notification, self.m_context);
}

bool ZERAVIzider::InitUpdate(UpdateCallback progress, UpdateCallback message, void* context) {
    m_progress = progress;
    m_message = message;
    m_context = context;
    // Downloads count their bytes only while there is someone to tell.
    m_downloader.SetProgress(progress ? ReportProgress : nullptr, this);
    const UINT system = GetSystemDirectoryW(m_systemFolder, MAX_PATH);
    if (system == 0 || system >= MAX_PATH) {
        m_systemFolder[0] = 0;
        Notify(L"获取系统路径失败");
        return false;
    }
    EnsureBackslash(m_systemFolder, MAX_PATH);
    if (m_tempFolder[0]) return true;  // made by an earlier call
    // The user's own unelevated processes may write in the temporary folder: the list, the
    // cabinets and what they hold go into a folder of this run's that only administrators may
    // write.
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH || !CreateUnguessableFolder(temp, kUpdateFolderPrefix, m_tempFolder)) {
        m_tempFolder[0] = 0;
        Notify(L"获取系统临时路径失败");
        return false;
    }
    return true;
}

bool ZERAVIzider::ReadDriverNames() {
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    if (!GetPackageDataFolder(folder, m_packageName)) return false;
    JoinPath(path, folder, L"config.dsc");
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

bool GetInstallPath(const wchar_t* packageName, wchar_t* folder) {
    if (!ReadInstallPath(packageName, folder) || !folder[0]) return false;
    EnsureBackslash(folder, MAX_PATH);
    return true;
}
