// ZERAVIzider: choosing the installed package's components and updating one of them.
#include <cwchar>

#include "run/file_placement.h"
#include "run/install_layout.h"
#include "install/journal.h"
#include "payload/cabinet.h"
#include "payload/records.h"
#include "support/bounded_text.h"
#include "support/path.h"
#include "update/server_address.h"
#include "update/update_engine.h"

namespace {

// The name a list record must carry to belong to the package; null for types never chosen.
const wchar_t* RequiredName(int type, const ZERAVIzider& engine) {
    switch (type) {
    case IME_MAIN: return engine.ImeDriver();
    case SME_DRIVE: return engine.TableDriver();
    case SKIN_DRIVE: return engine.SkinDriver();
    case CONFIG_DRIVE: return L"_config_";
    case INSTALLBASE_DRIVE: return L"_install_base_";
    default: return nullptr;
    }
}

}  // namespace

std::wstring ExtractedFileName(const UPDATEITEM& item) {
    const bool program = item.type == CONFIG_DRIVE || item.type == INSTALLBASE_DRIVE;
    return std::wstring(item.name) + (item.type == IME_MAIN ? L".ime" : program ? L".exe" : L".dll");
}

void ZERAVIzider::SetTargetPath(UPDATEITEM& item) const {
    switch (item.type) {
    case IME_MAIN: {
        wchar_t key[kModuleKeyChars];
        FormatModuleKey(key, m_packageName);
        JoinPath(item.targetPath, m_systemFolder, key);
        break;
    }
    case SME_DRIVE: JoinPath(item.targetPath, m_installFolder, L"mb.dll"); break;
    case SKIN_DRIVE: JoinPath(item.targetPath, m_installFolder, L"skin.dll"); break;
    case CONFIG_DRIVE: JoinPath(item.targetPath, m_installFolder, kConfigProgramFile); break;
    case INSTALLBASE_DRIVE: JoinPath(item.targetPath, m_installFolder, kPlacedUninstallerFile); break;
    default: break;
    }
}

// The installed file is kept aside in a journal of its own before it is replaced, so that a
// replacement that fails, or a run killed halfway, leaves the component as it was; the
// components replaced before it stay replaced.
bool ZERAVIzider::ReplaceComponent(const wchar_t* fresh, const wchar_t* target) {
    InstallJournal journal;
    if (!journal.Begin(m_packageName, m_installFolder)) {
        Notify(kNoJournalLine);
        return false;
    }
    // In one step, keeping the access list the target's folder gives: the IME module in the
    // system folder is loaded into every process.
    if (!MayWriteFile(journal, target) || !ReplaceFileWhole(fresh, target)) {
        journal.Undo();
        return false;
    }
    journal.Finish();
    return true;
}

int ZERAVIzider::SelectComponents() {
    Notify(L"开始索拉驱动程序更新：");
    UPDATEITEM chosen = {};
    for (const UPDATEITEM& record : m_updateList) {
        const wchar_t* required = RequiredName(record.type, *this);
        if (!required || _wcsicmp(record.name, required) != 0) continue;
        chosen.type = record.type;
        CopyCut(chosen.name, required);
        SetTargetPath(chosen);
        chosen.installedVersion = GetFileVersion64(chosen.targetPath);
        chosen.offeredVersion = record.offeredVersion;
        CopyCut(chosen.cabinetUrl, record.cabinetUrl);
        m_selected.push_back(chosen);
    }
    return static_cast<int>(m_selected.size());
}

bool ZERAVIzider::UpdateComponent(const UPDATEITEM& item) {
    wchar_t text[128];
    FormatCut(text, 128, L"更新：%s", item.name);
    Notify(text);

    // An address of the list that starts with "/" lies on the update server.
    wchar_t address[256];
    if (item.cabinetUrl[0] == L'/') {
        wchar_t server[128];
        GetUpdateServer(m_packageName, server, 128);
        FormatCut(address, 256, L"%s%s", server, item.cabinetUrl);
    } else {
        CopyCut(address, item.cabinetUrl);
    }
    wchar_t cabinet[MAX_PATH];
    JoinPath(cabinet, m_tempFolder, L"_srautodownload.cab");
    if (!DownloadFile(address, cabinet, kMaxComponentCabinetBytes)) {
        FormatCut(text, 128, L"　　下载%s 失败", item.name);
        Notify(text);
        return false;
    }
    // A file of that name left by an earlier run must not pass for this cabinet's.
    wchar_t fresh[MAX_PATH];
    JoinPath(fresh, m_tempFolder, ExtractedFileName(item).c_str());
    DeleteFileW(fresh);
    Cabinet::CExtract extractor;
    if (!extractor.Init()) {
        Notify(L"  创建FDIContext失败！");
        return false;
    }
    extractor.ExtractOnly(ExtractedFileName(item).c_str());
    if (!extractor.Extract(cabinet, m_tempFolder) || GetFileAttributesW(fresh) == INVALID_FILE_ATTRIBUTES) {
        Notify(L"  解压文件失败！");
        return false;
    }
    if (!ReplaceBrandResources(fresh, item.type, item.targetPath)) {
        Notify(L"  替换文件资源信息失败！");
        return false;
    }
    if (!ReplaceComponent(fresh, item.targetPath)) {
        Notify(L"  替换文件失败！");
        return false;
    }
    extractor.Cleanup();
    return true;
}
