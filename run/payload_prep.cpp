#include "run/payload_prep.h"

#include <windows.h>

#include "framework/handles.h"
#include "run/folders.h"
#include "run/install_layout.h"
#include "payload/cabinet.h"
#include "payload/container.h"
#include "payload/mapfile.h"
#include "payload/payload_key.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

// Writes count bytes of the mapped image into a new file of exactly that size, straight from
// the view: a writing mapping of the new file would page it in first and flush it out again.
// A part that cannot be written whole is removed, so that no cut part passes for a good one.
void WriteRange(const wchar_t* path, const BYTE* source, DWORD count) {
    fw::UniqueHandle file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid()) return;
    // Pieces of a bounded size: a single write of the whole part may be refused for its size.
    constexpr DWORD kPiece = 16u << 20;
    bool whole = true;
    for (DWORD done = 0; whole && done < count;) {
        const DWORD piece = count - done < kPiece ? count - done : kPiece;
        DWORD written = 0;
        whole = WriteFile(file.Get(), source + done, piece, &written, nullptr) && written == piece;
        done += written;
    }
    file.Reset();
    if (!whole) DeleteFileW(path);
}

}  // namespace

int SplitInstaller(RUNSTATE& state) {
    if (GetFileAttributesW(state.workFolder) == INVALID_FILE_ATTRIBUTES) return 0;

    JoinPath(state.startedPath, state.workFolder, kSplitCopyFile);
    if (!CopyFileW(state.ownPath, state.startedPath, FALSE)) return 0;

    {
        SR_MapFileIO image;
        if (!image.OpenFile(state.startedPath, 0)) return 0;
        const BYTE* bytes = image.GetData(0);
        const DWORD size = image.GetSize();
        const DWORD offset = ReadPayloadOffset(bytes, size);
        if (offset == 0 || offset > size) return 0;

        JoinPath(state.payloadFile, state.workFolder, kPayloadFile);
        JoinPath(state.bareProgram, state.workFolder, kPlacedUninstallerFile);
        WriteRange(state.bareProgram, bytes, offset);
        WriteRange(state.payloadFile, bytes + offset, size - offset);
    }
    DeleteFileW(state.startedPath);
    return GetFileAttributesW(state.payloadFile) != INVALID_FILE_ATTRIBUTES;
}

int ExtractPayload(RUNSTATE& state) {
    JoinPath(state.payloadFolder, state.workFolder, kPayloadFolderName);
    RemoveFolder(state.payloadFolder);
    // Out of memory while unpacking counts as a damaged package, as any other failure does.
    Cabinet::CExtract extractor;
    return extractor.SetKey(kPayloadKeyLength) && extractor.Init() &&
           extractor.Extract(state.payloadFile, state.payloadFolder);
}

void InstallInfoPath(const RUNSTATE& state, wchar_t* path) {
    JoinPath(path, kPathChars, state.payloadFolder, kPackageRecordFile);
}

int HasInstallInfo(const RUNSTATE& state) {
    wchar_t path[kPathChars];
    InstallInfoPath(state, path);
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}
