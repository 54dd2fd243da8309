// Extracting what srpack made, the way the installer and the update read it.
#include "tools/srpack/unpacker.h"

#include <windows.h>
#include <fcntl.h>

#include <cstring>
#include <string>
#include <vector>

#include "payload/cabinet.h"
#include "payload/container.h"
#include "payload/payload_key.h"
#include "tools/srpack/file_io.h"
#include "tools/srpack/options.h"
#include "tools/srpack/text.h"

namespace {

// Prints every file as the extractor creates it.
class ListingExtractor : public Cabinet::CExtract {
public:
    int FileOpen(const wchar_t* path, int flags, int permission) override {
        if (flags & _O_CREAT) PrintOut(std::wstring(L"  ") + path);
        return CExtract::FileOpen(path, flags, permission);
    }
};

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return length && length < MAX_PATH ? std::wstring(full, length) : path;
}

std::wstring DescribeError(const Cabinet::ERRORSTATE& error, const ERF& library) {
    switch (error.code) {
    case Cabinet::kErrorNotACabinet: return L"it is not a cabinet";
    case Cabinet::kErrorCreateFile:
        return L"a file could not be written (or its stored name would leave the destination)" +
               (error.systemError ? L": " + SystemMessage(error.systemError) : std::wstring());
    case Cabinet::kErrorNoLibrary: return L"Cabinet.dll cannot be loaded";
    case Cabinet::kErrorOutOfMemory: return L"out of memory";
    case Cabinet::kErrorPlainCabinet: return L"a plain cabinet where an enciphered one was expected";
    case Cabinet::kErrorCipheredCabinet: return L"an enciphered cabinet where a plain one was expected";
    case 0:
        if (library.fError) return L"Cabinet.dll reports error " + std::to_wstring(library.erfOper) +
                                   L" (the data is damaged, or enciphered under another key)";
        return L"unknown error";
    default: return L"error " + std::to_wstring(error.code);
    }
}

}  // namespace

Status RunUnpack(int count, wchar_t** arguments) {
    if (count < 1 || std::wstring(arguments[0]).compare(0, 2, L"--") == 0) {
        return UsageError(L"srpack unpack needs the file to unpack before its options.");
    }
    Options options;
    Status step = options.Parse(L"unpack", count - 1, arguments + 1, {L"--out"});
    if (step.Ok()) step = options.Require(L"--out");
    if (!step.Ok()) return step;
    const std::wstring input = FullPath(arguments[0]);
    const std::wstring out = FullPath(options.Value(L"--out"));

    std::vector<BYTE> bytes;
    step = ReadWholeFile(input, bytes);
    if (!step.Ok()) return step;
    const DWORD size = static_cast<DWORD>(bytes.size());

    // An installer carries its payload after the offset in its header; a payload (such as a
    // backup) starts with "CRYP"; a cabinet with "MSCF".
    std::wstring cabinet = input;
    TemporaryFile payload;
    bool keyed;
    const DWORD offset = size >= 2 && bytes[0] == 'M' && bytes[1] == 'Z' ? ReadPayloadOffset(bytes.data(), size) : 0;
    if (offset != 0) {
        if (offset >= size) return Failure(input + L" names a payload beyond its end: the installer is cut short.");
        step = payload.Create(L"sru");
        if (step.Ok()) step = WriteWholeFile(payload.Path(), std::vector<BYTE>(bytes.begin() + offset, bytes.end()));
        if (!step.Ok()) return step;
        cabinet = payload.Path();
        keyed = true;
        PrintOut(L"The installer's payload (" + std::to_wstring(size - offset) + L" bytes at offset " +
                 std::to_wstring(offset) + L"), deciphered, into " + out + L":");
    } else if (size >= 4 && memcmp(bytes.data(), "CRYP", 4) == 0) {
        keyed = true;
        PrintOut(L"The enciphered payload, into " + out + L":");
    } else if (size >= 4 && memcmp(bytes.data(), "MSCF", 4) == 0) {
        keyed = false;
        PrintOut(L"The plain cabinet, into " + out + L":");
    } else {
        return Failure(input + L" is neither an installer with a payload, nor a payload, nor a cabinet.");
    }

    ListingExtractor extractor;
    if ((!keyed || extractor.SetKey(kPayloadKeyLength)) && extractor.Init() &&
        extractor.Extract(cabinet.c_str(), out.c_str())) {
        return Success();
    }
    return Failure(L"The extraction failed: " + DescribeError(extractor.LastError(), extractor.LibraryError()) + L".");
}
