// Building a finished installer.
#include "tools/srpack/installer_builder.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "payload/container.h"
#include "payload/records.h"
#include "support/path.h"
#include "tools/srpack/cabinet_writer.h"
#include "tools/srpack/content_tree.h"
#include "tools/srpack/file_io.h"
#include "tools/srpack/options.h"
#include "tools/srpack/package_info.h"
#include "tools/srpack/text.h"

namespace {

// The base must be a Windows program, 32-bit (PE32) or 64-bit (PE32+), whose LoaderFlags is
// still free.
Status CheckBase(const std::wstring& path, const std::vector<BYTE>& image) {
    const DWORD size = static_cast<DWORD>(image.size());
    const std::wstring notProgram = path + L" is not a 32-bit or 64-bit Windows program.";
    if (size < sizeof(IMAGE_DOS_HEADER) || image[0] != 'M' || image[1] != 'Z') return Failure(notProgram);
    DWORD signature;
    memcpy(&signature, image.data() + kSignaturePositionField, sizeof signature);
    if (signature > size || size - signature < kMagicFromSignature + sizeof(WORD) ||
        memcmp(image.data() + signature, "PE\0\0", 4) != 0) {
        return Failure(notProgram);
    }
    WORD magic;
    memcpy(&magic, image.data() + signature + kMagicFromSignature, sizeof magic);
    const DWORD headersSize = magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC   ? sizeof(IMAGE_NT_HEADERS32)
                              : magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? sizeof(IMAGE_NT_HEADERS64)
                                                                       : 0;
    if (!headersSize || size - signature < headersSize) return Failure(notProgram);
    DWORD offset = ReadPayloadOffset(image.data(), size);
    if (offset != 0) {
        return Failure(path + L" already carries a payload (its LoaderFlags field holds " + std::to_wstring(offset) +
                       L"); give the bare srinstallbase.exe as --base.");
    }
    return Success();
}

// The record of the content folder, and the module that it names.
Status CheckContent(const std::wstring& folder, PACKAGECONFIG& record) {
    if (!IsFolder(folder)) return Failure(L"The content folder " + folder + L" does not exist.");
    const std::wstring recordPath = JoinedPath(folder, kPackageRecordFile);
    if (!IsFile(recordPath)) return Failure(L"The content folder " + folder + L" holds no " + kPackageRecordFile +
                                            L"; make one with \"srpack info\".");
    std::vector<BYTE> bytes;
    Status read = ReadWholeFile(recordPath, bytes);
    if (!read.Ok()) return read;
    if (bytes.size() < sizeof record) {
        return Failure(recordPath + L" has " + std::to_wstring(bytes.size()) + L" bytes; the package record needs " +
                       std::to_wstring(sizeof record) + L".");
    }
    memcpy(&record, bytes.data(), sizeof record);
    Status checked = CheckPackageRecord(record);
    if (!checked.Ok()) return checked;
    const std::wstring module = std::wstring(record.name) + L".ime";
    if (!IsFile(JoinedPath(folder, module))) {
        return Failure(L"The content folder " + folder + L" holds no input-method module " + module + L", which " +
                       kPackageRecordFile + L" names as the package \"" + record.name + L"\".");
    }
    return Success();
}

// The plain cabinet of every file of the folder, made in a temporary file.
Status MakeCabinet(const std::vector<ContentFile>& files, CabinetCompression compression, std::vector<BYTE>& cabinet) {
    constexpr size_t kMostCabinetFiles = 0xFFFF;  // the header counts its files in 16 bits
    if (files.size() > kMostCabinetFiles) {
        return Failure(L"The content folder holds " + std::to_wstring(files.size()) + L" files; a cabinet holds at most " +
                       std::to_wstring(kMostCabinetFiles) + L".");
    }
    TemporaryFile file;
    Status created = file.Create(L"srp");
    if (!created.Ok()) return created;
    {
        CabinetWriter writer;
        Status step = writer.Create(file.Path(), compression);
        for (size_t i = 0; step.Ok() && i < files.size(); ++i) step = writer.AddFile(files[i].path, files[i].storedName);
        if (step.Ok()) step = writer.Finish();
        if (!step.Ok()) return step;
    }
    return ReadWholeFile(file.Path(), cabinet);
}

// Enciphers the cabinet and appends it to the base image, whose LoaderFlags then holds
// the payload's offset: the base's own size.
Status AppendPayload(std::vector<BYTE>& image, std::vector<BYTE>& cabinet) {
    if (!EncipherContainer(cabinet)) return Failure(L"Cabinet.dll wrote something that is not a cabinet.");
    if (cabinet.size() > MAXDWORD - image.size()) {
        return Failure(L"The installer would be larger than 4 GB, beyond what it can address.");
    }
    const DWORD baseSize = static_cast<DWORD>(image.size());
    if (!WritePayloadOffset(image.data(), baseSize, baseSize)) return Failure(L"The base has no LoaderFlags field.");
    image.insert(image.end(), cabinet.begin(), cabinet.end());
    return Success();
}

// --compression: MSZIP unless the vendor asks for a stored cabinet, which makes a larger
// installer that unpacks without inflating.
Status ReadCompression(const Options& options, CabinetCompression& compression) {
    const std::wstring& value = options.Value(L"--compression");
    if (!options.Has(L"--compression") || _wcsicmp(value.c_str(), L"mszip") == 0) {
        compression = CabinetCompression::kMszip;
    } else if (_wcsicmp(value.c_str(), L"none") == 0) {
        compression = CabinetCompression::kNone;
    } else {
        return UsageError(L"--compression is none or mszip, not \"" + value + L"\".");
    }
    return Success();
}

Status CheckBuildOptions(const Options& options) {
    for (const wchar_t* path : {L"--base", L"--content", L"--out", L"--keep-cabinet"}) {
        if (options.Value(path).find(L'"') != std::wstring::npos) {
            return UsageError(std::wstring(path) + L" holds a quotation mark: on a Windows command line a backslash "
                                                   L"before a closing quote escapes it, so leave out the trailing "
                                                   L"backslash of a folder.");
        }
    }
    for (const wchar_t* required : {L"--base", L"--content", L"--out"}) {
        Status given = options.Require(required);
        if (!given.Ok()) return given;
    }
    return Success();
}

}  // namespace

Status RunBuild(int count, wchar_t** arguments) {
    Options options;
    Status step = options.Parse(L"build", count, arguments,
                                {L"--base", L"--content", L"--out", L"--keep-cabinet", L"--compression"});
    if (step.Ok()) step = CheckBuildOptions(options);
    CabinetCompression compression = CabinetCompression::kMszip;
    if (step.Ok()) step = ReadCompression(options, compression);
    if (!step.Ok()) return step;
    const std::wstring& basePath = options.Value(L"--base");
    // The folder as the messages name it: with its separator, however it was typed.
    const std::wstring content = JoinedPath(options.Value(L"--content"), L"");
    const std::wstring& outPath = options.Value(L"--out");

    std::vector<BYTE> installer;
    step = ReadWholeFile(basePath, installer);
    if (step.Ok()) step = CheckBase(basePath, installer);
    const size_t baseSize = installer.size();
    PACKAGECONFIG record = {};
    if (step.Ok()) step = CheckContent(content, record);
    std::vector<ContentFile> files;
    if (step.Ok()) step = ListContent(content, files);
    std::vector<BYTE> cabinet;
    if (step.Ok()) step = MakeCabinet(files, compression, cabinet);
    if (step.Ok() && options.Has(L"--keep-cabinet")) step = WriteWholeFile(options.Value(L"--keep-cabinet"), cabinet);
    if (step.Ok()) step = AppendPayload(installer, cabinet);
    if (step.Ok()) step = WriteWholeFile(outPath, installer);
    if (!step.Ok()) return step;
    PrintOut(L"Wrote " + outPath + L": the package \"" + record.name + L"\" with " + std::to_wstring(files.size()) +
             L" files, a payload of " + std::to_wstring(cabinet.size()) + L" bytes (" +
             (compression == CabinetCompression::kNone ? L"stored" : L"MSZIP") + L") at offset " +
             std::to_wstring(baseSize) + L".");
    return Success();
}
