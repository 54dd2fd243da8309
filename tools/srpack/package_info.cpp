// Writing and checking the package record.
#include "tools/srpack/package_info.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "tools/srpack/file_io.h"
#include "tools/srpack/text.h"

namespace {

template <size_t N>
constexpr size_t Capacity(wchar_t (PACKAGECONFIG::*)[N]) {
    return N;
}

// The installer's own rules (payload/records.h): a record that breaks them is a damaged package.
Status CheckName(const wchar_t* name, const std::wstring& what) {
    if (IsPlainPackageName(name)) return Success();
    return Failure(what + L" must be one plain file name of 1 to 39 characters: no control characters nor any "
                          L"of \\ / : * ? \" < > |, not \".\" or \"..\", no trailing dot or blank and no device name "
                          L"such as CON, NUL, COM1 or LPT1, since it names files, folders and registry keys.");
}

Status CheckRelativePath(const wchar_t* path, const std::wstring& what) {
    if (IsInstallRelativePath(path)) return Success();
    return Failure(what + L" must name a file inside the installation folder, such as \"help\\index.html\": no "
                          L"drive, no leading \\, no \"..\".");
}

}  // namespace

const RecordText kRecordTexts[9] = {
    {L"--name", L"package name", offsetof(PACKAGECONFIG, name), Capacity(&PACKAGECONFIG::name), true},
    {L"--layout", L"layout text", offsetof(PACKAGECONFIG, layoutText), Capacity(&PACKAGECONFIG::layoutText), true},
    {L"--comments", L"comments", offsetof(PACKAGECONFIG, comments), Capacity(&PACKAGECONFIG::comments), false},
    {L"--publisher", L"publisher", offsetof(PACKAGECONFIG, publisher), Capacity(&PACKAGECONFIG::publisher), false},
    {L"--version", L"version", offsetof(PACKAGECONFIG, version), Capacity(&PACKAGECONFIG::version), false},
    {L"--contact", L"contact", offsetof(PACKAGECONFIG, contact), Capacity(&PACKAGECONFIG::contact), false},
    {L"--homepage", L"home page", offsetof(PACKAGECONFIG, homePage), Capacity(&PACKAGECONFIG::homePage), false},
    {L"--phone", L"help telephone", offsetof(PACKAGECONFIG, helpPhone), Capacity(&PACKAGECONFIG::helpPhone), false},
    {L"--open", L"file to open", offsetof(PACKAGECONFIG, openFile), Capacity(&PACKAGECONFIG::openFile), false},
};

wchar_t* TextOf(PACKAGECONFIG& record, const RecordText& field) {
    return reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(&record) + field.offset);
}

const wchar_t* TextOf(const PACKAGECONFIG& record, const RecordText& field) {
    return reinterpret_cast<const wchar_t*>(reinterpret_cast<const char*>(&record) + field.offset);
}

Status FillPackageRecord(const Options& options, PACKAGECONFIG& record) {
    for (const RecordText& field : kRecordTexts) {
        if (field.required) {
            Status given = options.Require(field.option);
            if (!given.Ok()) return given;
        }
        const std::wstring& text = options.Value(field.option);
        if (text.size() >= field.capacity) {
            return UsageError(std::wstring(field.option) + L" is too long: it holds at most " +
                              std::to_wstring(field.capacity - 1) + L" characters, and the text given has " +
                              std::to_wstring(text.size()) + L".");
        }
        memcpy(TextOf(record, field), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    Status name = CheckName(record.name, L"--name");
    if (!name.Ok()) return UsageError(name.message);
    Status open = CheckRelativePath(record.openFile, L"--open");
    return open.Ok() ? open : UsageError(open.message);
}

Status CheckPackageRecord(const PACKAGECONFIG& record) {
    for (const RecordText& field : kRecordTexts) {
        if (wmemchr(TextOf(record, field), L'\0', field.capacity) == nullptr) {
            return Failure(std::wstring(L"The ") + field.label + L" in " + kPackageRecordFile +
                           L" has no terminating zero inside its " + std::to_wstring(field.capacity) +
                           L" characters.");
        }
    }
    Status name = CheckName(record.name, std::wstring(L"The package name in ") + kPackageRecordFile);
    if (!name.Ok()) return name;
    return CheckRelativePath(record.openFile, std::wstring(L"The file to open in ") + kPackageRecordFile);
}

Status RunInfo(int count, wchar_t** arguments) {
    Options options;
    Status parsed = options.Parse(L"info", count, arguments,
                                  {L"--out", L"--name", L"--layout", L"--comments", L"--publisher", L"--version",
                                   L"--contact", L"--homepage", L"--phone", L"--open"});
    if (!parsed.Ok()) return parsed;
    Status out = options.Require(L"--out");
    if (!out.Ok()) return out;
    PACKAGECONFIG record = {};
    Status filled = FillPackageRecord(options, record);
    if (!filled.Ok()) return filled;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&record);
    Status written = WriteWholeFile(options.Value(L"--out"), std::vector<BYTE>(bytes, bytes + sizeof record));
    if (!written.Ok()) return written;
    PrintOut(L"Wrote " + options.Value(L"--out") + L" (" + std::to_wstring(sizeof record) +
             L" bytes) for the package \"" + record.name + L"\".");
    return Success();
}
