// The component types of the update list.
#include "update/component_types.h"

#include <cwchar>

#include "support/bounded_text.h"

namespace {

struct TypeEntry {
    const wchar_t* tag;
    const wchar_t* name;
};

const TypeEntry kTypes[] = {
    {L"", L"未知标识"},          {L"SME_DRIVE", L"码表驱动"}, {L"SKIN_DRIVE", L"界面驱动"},
    {L"IME_MAIN", L"IME驱动"},   {L"IMEGENCAB", L"生成器压缩包"}, {L"UPDATE", L"生成器更新"},
    {L"CONFIG_DRIVE", L"配置程序"}, {L"INSTALLBASE_DRIVE", L"安装程序"},
};
constexpr int kTypeCount = sizeof kTypes / sizeof kTypes[0];

}  // namespace

int ComponentTypeFromTag(const wchar_t* tag) {
    for (int type = 1; type < kTypeCount; ++type) {
        if (_wcsicmp(tag, kTypes[type].tag) == 0) return type;
    }
    return UNKNOWN_DRIVE;
}

const wchar_t* ComponentTypeName(int type) { return kTypes[type > 0 && type < kTypeCount ? type : 0].name; }
