// Loading the package configuration record.
#include "payload/records.h"

#include <cstring>

#include "payload/mapfile.h"

int LoadPackageConfig(const wchar_t* path, PACKAGECONFIG& record) {
    SR_MapFileIO file;
    if (!file.OpenFile(path, 0)) return 0;
    // Only the first bytes count; a shorter file leaves what follows them as it was (zero).
    const DWORD count = file.GetSize() < sizeof record ? file.GetSize() : sizeof record;
    memcpy(&record, file.GetData(0), count);
    file.CloseFile();
    return 1;
}
