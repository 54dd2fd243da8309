// Install-mode preparation: split the own executable into the bare program and the still
// enciphered payload, unpack the payload, and find the package's configuration record.
#include <windows.h>

#include <cstring>

#include "app/folders.h"
#include "app/startup.h"
#include "payload/cabinet.h"
#include "payload/container.h"
#include "payload/mapfile.h"
#include "payload/payload_key.h"
#include "support/bounded_text.h"

namespace {

// Writes count bytes from source into a new file of exactly that size. A file that cannot
// be mapped (a size of 0 among them) is left as the system created it.
void WriteRange(const wchar_t* path, const BYTE* source, DWORD count) {
    SR_MapFileIO target;
    if (target.CreateNew(path, count)) memcpy(target.GetData(0), source, count);
}

}  // namespace

int SplitInstaller(RUNSTATE& state) {
    if (GetFileAttributesW(state.workFolder) == INVALID_FILE_ATTRIBUTES) return 0;

    FormatCut(state.startedPath, kPathChars, L"%ssrinstallbaseexe.tmp", state.workFolder);
    if (!CopyFileW(state.ownPath, state.startedPath, FALSE)) return 0;

    {
        SR_MapFileIO image;
        if (!image.OpenFile(state.startedPath, 0)) return 0;
        const BYTE* bytes = image.GetData(0);
        const DWORD size = image.GetSize();
        const DWORD offset = ReadPayloadOffset(bytes, size);
        if (offset == 0 || offset > size) return 0;

        FormatCut(state.payloadFile, kPathChars, L"%ssrinstallbaseexe.cab", state.workFolder);
        FormatCut(state.bareProgram, kPathChars, L"%sunstall.exe", state.workFolder);
        WriteRange(state.bareProgram, bytes, offset);
        WriteRange(state.payloadFile, bytes + offset, size - offset);
    }
    DeleteFileW(state.startedPath);
    return GetFileAttributesW(state.payloadFile) != INVALID_FILE_ATTRIBUTES;
}

int ExtractPayload(RUNSTATE& state) {
    FormatCut(state.payloadFolder, kPathChars, L"%sSR_INSTALL\\", state.workFolder);
    EmptyFolder(state.payloadFolder);
    RemoveDirectoryW(state.payloadFolder);
    try {
        Cabinet::CExtract extractor;
        extractor.SetKey(kPayloadKeyLength);
        return extractor.Init() && extractor.Extract(state.payloadFile, state.payloadFolder);
    } catch (const char*) {
        return 0;  // out of memory while unpacking: the package counts as damaged
    }
}

void InstallInfoPath(const RUNSTATE& state, wchar_t* path) {
    FormatCut(path, kPathChars, L"%s%s", state.payloadFolder, L"InstallInfo.dif");
}

int HasInstallInfo(const RUNSTATE& state) {
    wchar_t path[kPathChars];
    InstallInfoPath(state, path);
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}
