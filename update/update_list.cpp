// ZERAVIzider: downloading the update list and reading its records.
#include "update/update_list.h"

#include <cwchar>

#include "support/bounded_text.h"
#include "support/path.h"
#include "support/text_reader.h"
#include "update/component_types.h"
#include "update/server_address.h"
#include "update/update_engine.h"
#include "update/version_info.h"

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
    JoinPath(listFile, m_tempFolder, L"_srUpdateList.txt");
    if (!DownloadFile(address, listFile, kMaxUpdateListBytes)) {
        Notify(L"下载索拉输入系统更新信息失败！");
        return 0;
    }
    READTEXT reader;
    if (!reader.LoadFile(listFile)) return 0;
    return ParseUpdateList(reader.Text(), reader.TextLength());
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
