// Loading the package configuration record, and the rules its names follow.
#include "payload/records.h"

#include <cstring>
#include <cwchar>

#include "payload/mapfile.h"
#include "payload/stored_name.h"
#include "support/bounded_text.h"

namespace {

// A record written by other means may fill a field to its end; no text may run on into the
// next field or past the record.
template <size_t N>
void CutAtLastUnit(wchar_t (&field)[N]) {
    field[N - 1] = 0;
}

void CutEveryText(PACKAGECONFIG& record) {
    CutAtLastUnit(record.name);
    CutAtLastUnit(record.layoutText);
    CutAtLastUnit(record.comments);
    CutAtLastUnit(record.publisher);
    CutAtLastUnit(record.version);
    CutAtLastUnit(record.contact);
    CutAtLastUnit(record.homePage);
    CutAtLastUnit(record.helpPhone);
    CutAtLastUnit(record.openFile);
}

}  // namespace

bool IsPlainPackageName(const wchar_t* name) {
    return wcsnlen(name, kNameChars) < kNameChars && Cabinet::IsPlainFileName(name);
}

bool IsInstallRelativePath(const wchar_t* path) {
    if (!path[0]) return true;
    constexpr size_t kUnits = sizeof PACKAGECONFIG::openFile / sizeof(wchar_t);
    if (wcsnlen(path, kUnits) == kUnits) return false;
    wchar_t steps[kUnits];
    CopyCut(steps, path);
    // The system takes "/" for "\" too.
    for (wchar_t* p = steps; *p; ++p) {
        if (*p == L'/') *p = L'\\';
    }
    return Cabinet::IsSafeStoredName(steps);
}

bool FormatModuleKey(wchar_t (&key)[kModuleKeyChars], const wchar_t* packageName) {
    key[0] = 0;
    if (!IsPlainPackageName(packageName)) return false;
    FormatCut(key, kModuleKeyChars, L"%s(1).ime", packageName);
    return true;
}

int LoadPackageConfig(const wchar_t* path, PACKAGECONFIG& record) {
    SR_MapFileIO file;
    if (!file.OpenFile(path, 0)) return 0;
    // Only the first bytes count; a shorter file leaves what follows them as it was (zero).
    const DWORD count = file.GetSize() < sizeof record ? file.GetSize() : sizeof record;
    memcpy(&record, file.GetData(0), count);
    file.CloseFile();
    CutEveryText(record);
    if (IsPlainPackageName(record.name) && IsInstallRelativePath(record.openFile)) return 1;
    // Nothing of a damaged record is used, not even its name in the error page's title.
    memset(&record, 0, sizeof record);
    return 0;
}
