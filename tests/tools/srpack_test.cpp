// The package generator srpack.exe, run as a vendor would run it: the package record it
// writes, the content it refuses, and the installers it builds.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "payload/blowfish.h"
#include "payload/container.h"
#include "payload/payload_key.h"
#include "payload/records.h"
#include "tests/harness/demo_installation.h"
#include "tests/harness/process.h"
#include "tests/harness/program_run.h"

namespace {

struct Outcome {
    DWORD exitCode = STILL_ACTIVE;
    std::string output;  // standard output and standard error together, UTF-8
};

// Runs srpack with the arguments, its temporary folder pointed at temp when one is given.
Outcome Srpack(const std::wstring& arguments, const std::wstring& temp = L"") {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return Outcome();
    fw::UniqueHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::wstring environment = temp.empty() ? std::wstring() : test::EnvironmentWithTemp(temp);

    const std::wstring program = test::ProgramBeside(L"srpack.exe");
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                        environment.empty() ? nullptr : &environment[0], nullptr, &startup, &process)) {
        return Outcome();
    }
    fw::UniqueHandle child(process.hProcess), thread(process.hThread);
    writer.Reset();  // so that the pipe ends with the child
    Outcome run;
    char buffer[4096];
    DWORD got;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) run.output.append(buffer, got);
    WaitForSingleObject(child.Get(), 30000);
    GetExitCodeProcess(child.Get(), &run.exitCode);
    return run;
}

using test::Utf8;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::vector<BYTE> Bytes(const std::wstring& path) {
    std::string bytes = test::ReadBytes(path);
    return std::vector<BYTE>(bytes.begin(), bytes.end());
}

template <class T>
T At(const std::vector<BYTE>& bytes, size_t offset) {
    T value;
    memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// The text of a record field: up to its zero, which must lie inside the field.
std::wstring FieldText(const std::vector<BYTE>& record, size_t offset, size_t capacity) {
    const wchar_t* text = reinterpret_cast<const wchar_t*>(record.data() + offset);
    size_t length = wcsnlen(text, capacity);
    return length < capacity ? std::wstring(text, length) : L"<unterminated>";
}

// A content folder of the package "Demo": its record, its module and a few more files.
void MakeContent(const test::TestFolder& folder, const std::wstring& name = L"Demo") {
    ASSERT_EQ(Srpack(L"info --out " + Quoted(folder / L"InstallInfo.dif") + L" --name " + name +
                     L" --layout \"Demo 输入法\"").exitCode, 0u);
    test::WriteBytes(folder / (name + L".ime"), std::string(3000, 'M'));
}

constexpr uint16_t kNameIsUtf8 = 0x80;  // the attribute flag of a name stored as UTF-8

struct CabinetEntry {
    uint32_t size;
    uint16_t date, time, attributes;
};

// The file entries of a plain cabinet by stored name, read from its header fields.
std::map<std::string, CabinetEntry> CabinetEntries(const std::vector<BYTE>& cabinet) {
    std::map<std::string, CabinetEntry> entries;
    size_t at = At<uint32_t>(cabinet, 16);  // coffFiles
    for (uint16_t i = 0, count = At<uint16_t>(cabinet, 28); i < count && at + 16 < cabinet.size(); ++i) {
        CabinetEntry entry = {At<uint32_t>(cabinet, at), At<uint16_t>(cabinet, at + 10), At<uint16_t>(cabinet, at + 12),
                              At<uint16_t>(cabinet, at + 14)};
        std::string name(reinterpret_cast<const char*>(cabinet.data() + at + 16));
        entries[name] = entry;
        at += 16 + name.size() + 1;
    }
    return entries;
}

// SrpackInfoTest: the package record.

TEST(SrpackInfoTest, WritesEveryTextAtItsOffsetIn1308Bytes) {
    test::TestFolder folder;
    const std::wstring out = folder / L"InstallInfo.dif";
    Outcome run = Srpack(L"info --out " + Quoted(out) +
                     L" --name 示例 --layout \"示例 输入法\" --comments 注释 --publisher 出版者 --version 1.2.3"
                     L" --contact 联系人 --homepage http://example.com/ime --phone 010-1234 --open \"help\\index.html\"");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    std::vector<BYTE> record = Bytes(out);
    ASSERT_EQ(record.size(), 1308u);
    EXPECT_EQ(FieldText(record, 0, 40), L"示例");
    EXPECT_EQ(FieldText(record, 80, 44), L"示例 输入法");
    EXPECT_EQ(At<uint32_t>(record, 168), 0u);
    EXPECT_EQ(FieldText(record, 172, 20), L"注释");
    EXPECT_EQ(FieldText(record, 212, 40), L"出版者");
    EXPECT_EQ(FieldText(record, 292, 40), L"1.2.3");
    EXPECT_EQ(FieldText(record, 372, 40), L"联系人");
    EXPECT_EQ(FieldText(record, 452, 128), L"http://example.com/ime");
    EXPECT_EQ(FieldText(record, 708, 40), L"010-1234");
    EXPECT_EQ(FieldText(record, 788, 260), L"help\\index.html");
}

TEST(SrpackInfoTest, ATextFillsItsFieldButOneCharacterMoreIsRefusedWithTheLimit) {
    const struct {
        const wchar_t* option;
        size_t offset, capacity;
    } kFields[] = {{L"--name", 0, 40},        {L"--layout", 80, 44},     {L"--comments", 172, 20},
                   {L"--publisher", 212, 40}, {L"--version", 292, 40},   {L"--contact", 372, 40},
                   {L"--homepage", 452, 128}, {L"--phone", 708, 40},     {L"--open", 788, 260}};
    test::TestFolder folder;
    for (const auto& field : kFields) {
        SCOPED_TRACE(Utf8(field.option));
        const std::wstring out = folder / L"InstallInfo.dif";
        std::wstring others;
        if (wcscmp(field.option, L"--name") != 0) others += L" --name Demo";
        if (wcscmp(field.option, L"--layout") != 0) others += L" --layout Demo";
        const std::wstring fits(field.capacity - 1, L'字');
        Outcome run = Srpack(L"info --out " + Quoted(out) + others + L" " + field.option + L" " + fits);
        ASSERT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_EQ(FieldText(Bytes(out), field.offset, field.capacity), fits);

        DeleteFileW(out.c_str());
        run = Srpack(L"info --out " + Quoted(out) + others + L" " + field.option + L" " + fits + L"字");
        EXPECT_EQ(run.exitCode, 2u);
        EXPECT_NE(run.output.find(Utf8(field.option) + " is too long"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("at most " + std::to_string(field.capacity - 1) + " characters"), std::string::npos)
            << run.output;
        EXPECT_FALSE(test::Exists(out));
    }
}

// SrpackBuildTest: the installer and the cabinet inside it; first what both commands refuse.

std::wstring BuildArguments(const std::wstring& base, const test::TestFolder& content, const std::wstring& out) {
    // Without its trailing backslash, which would escape the closing quote.
    const std::wstring folder = content.Path().substr(0, content.Path().size() - 1);
    return L"build --base " + Quoted(base) + L" --content " + Quoted(folder) + L" --out " + Quoted(out);
}

const std::wstring kBase = test::ProgramBeside(L"srinstallbase.exe");

// Overwrites the bytes at `offset` of the content folder's record, or cuts it there when
// `bytes` is empty.
void PatchRecord(const test::TestFolder& content, size_t offset, const std::string& bytes) {
    std::string record = test::ReadBytes(content / L"InstallInfo.dif");
    record = bytes.empty() ? record.substr(0, offset) : record.replace(offset, bytes.size(), bytes);
    test::WriteBytes(content / L"InstallInfo.dif", record);
}

// What srpack refuses, by its exit code (2: a wrong command line or a text it would not write
// into a record, 1: a content folder or a base it cannot make an installer of) and a part of
// what it says; it writes nothing then. The help, the one line here that is no refusal, ends
// with 0.
TEST(SrpackTest, RefusesWhatItCannotMakeAPackageOfAndWritesNothing) {
    enum Command { kInfo, kBuild, kAlone };
    using Folder = test::TestFolder;
    const char* const kPlain = "one plain file name of 1 to 39 characters";
    const char* const kInside = "inside the installation folder";
    const struct {
        Command command;
        // kInfo: what follows "info --out <record>"; kBuild: the base, a file of the output
        // folder (empty: the program); kAlone: the whole command line.
        const wchar_t* text;
        void (*prepare)(const Folder& content, const Folder& output);  // before a build
        DWORD exitCode;
        const char* says;
    } kRefusals[] = {
        {kInfo, L" --name Demo", nullptr, 2, ""},  // no layout
        {kInfo, L" --name De/mo --layout Demo", nullptr, 2, ""},
        {kInfo, L" --name Demo --layout Demo --open C:\\x.txt", nullptr, 2, ""},
        {kInfo, L" --name Demo --layout Demo --colour red", nullptr, 2, ""},
        {kAlone, L"", nullptr, 2, ""},
        {kAlone, L"pack", nullptr, 2, ""},
        {kAlone, L"unpack --out x", nullptr, 2, ""},    // no file
        {kAlone, L"unpack setup.exe", nullptr, 2, ""},  // no folder
        {kAlone, L"--help", nullptr, 0, "srpack build --base"},
        // Names and files to open that the installer would take for a damaged package.
        {kInfo, L" --layout Demo --name ..", nullptr, 2, kPlain},
        {kInfo, L" --layout Demo --name .", nullptr, 2, kPlain},
        {kInfo, L" --layout Demo --name CON", nullptr, 2, kPlain},
        {kInfo, L" --layout Demo --name nul.txt", nullptr, 2, kPlain},
        {kInfo, L" --layout Demo --name COM1", nullptr, 2, kPlain},
        {kInfo, L" --layout Demo --name Lpt9.ime", nullptr, 2, kPlain},
        {kInfo, L" --layout Demo --name Demo.", nullptr, 2, kPlain},
        {kInfo, L" --layout Demo --name \"Demo \"", nullptr, 2, kPlain},
        {kInfo, L" --name Demo --layout Demo --open ..\\readme.txt", nullptr, 2, kInside},
        {kInfo, L" --name Demo --layout Demo --open help\\..\\..\\x.exe", nullptr, 2, kInside},
        {kInfo, L" --name Demo --layout Demo --open help/../../x.exe", nullptr, 2, kInside},
        {kInfo, L" --name Demo --layout Demo --open \\x.txt", nullptr, 2, kInside},
        {kInfo, L" --name Demo --layout Demo --open C:x.txt", nullptr, 2, kInside},
        // Content folders without the module the record names, or without the record.
        {kBuild, L"",
         [](const Folder& content, const Folder&) {
             DeleteFileW((content / L"Demo.ime").c_str());
             test::WriteBytes(content / L"Other.ime", "M");
         },
         1, "Demo.ime"},
        {kBuild, L"", [](const Folder& content, const Folder&) { DeleteFileW((content / L"InstallInfo.dif").c_str()); },
         1, "InstallInfo.dif"},
        // Records cut short, with an unterminated text (the comments fill their field), with a
        // name or a file to open that the installer would refuse ("CON", "..\x").
        {kBuild, L"", [](const Folder& content, const Folder&) { PatchRecord(content, 1307, ""); }, 1, ""},
        {kBuild, L"", [](const Folder& content, const Folder&) { PatchRecord(content, 172, std::string(40, 'x')); },
         1, "no terminating zero"},
        {kBuild, L"", [](const Folder& content, const Folder&) { PatchRecord(content, 0, {"C\0O\0N\0\0\0", 8}); },
         1, "one plain file name"},
        {kBuild, L"", [](const Folder& content, const Folder&) { PatchRecord(content, 788, {".\0.\0\\\0x\0\0\0", 10}); },
         1, kInside},
        // Bases that already carry a payload or are no program.
        {kBuild, L"setup.exe",
         [](const Folder& content, const Folder& output) {
             ASSERT_EQ(Srpack(BuildArguments(kBase, content, output / L"setup.exe")).exitCode, 0u);
         },
         1, "already carries a payload"},
        {kBuild, L"text.exe",
         [](const Folder&, const Folder& output) { test::WriteBytes(output / L"text.exe", std::string(4096, 'x')); }, 1,
         ""},
    };
    for (const auto& r : kRefusals) {
        Folder content, output;
        std::wstring arguments = r.text, made;
        if (r.command == kInfo) {
            made = output / L"InstallInfo.dif";
            arguments = L"info --out " + Quoted(made) + r.text;
        } else if (r.command == kBuild) {
            MakeContent(content);
            made = output / L"made.exe";
            arguments = BuildArguments(*r.text ? output / r.text : kBase, content, made);
        }
        SCOPED_TRACE(Utf8(arguments));
        if (r.prepare) r.prepare(content, output);
        const Outcome run = Srpack(arguments);
        EXPECT_EQ(run.exitCode, r.exitCode);
        EXPECT_NE(run.output.find(r.says), std::string::npos) << run.output;
        if (!made.empty()) {
            EXPECT_FALSE(test::Exists(made));
        }
    }
}

TEST(SrpackBuildTest, TheInstallerIsTheBaseFollowedByTheEncipheredCabinet) {
    test::TestFolder content, output;
    MakeContent(content);
    test::WriteBytes(content / L"odd.bin", std::string(12345, 'o'));  // an unaligned cabinet size is likely
    Outcome run = Srpack(BuildArguments(kBase, content, output / L"setup.exe") + L" --keep-cabinet " +
                     Quoted(output / L"plain.cab"));
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    std::vector<BYTE> base = Bytes(kBase), installer = Bytes(output / L"setup.exe");
    std::vector<BYTE> plain = Bytes(output / L"plain.cab");
    const DWORD baseSize = static_cast<DWORD>(base.size());
    ASSERT_GT(installer.size(), base.size() + kContainerPlainBytes);

    EXPECT_EQ(ReadPayloadOffset(installer.data(), static_cast<DWORD>(installer.size())), baseSize);
    std::vector<BYTE> expectedHead = base;
    ASSERT_TRUE(WritePayloadOffset(expectedHead.data(), baseSize, baseSize));
    EXPECT_TRUE(std::equal(expectedHead.begin(), expectedHead.end(), installer.begin()));

    std::vector<BYTE> payload(installer.begin() + baseSize, installer.end());
    EXPECT_EQ(payload.size() % 8, 0u);
    EXPECT_LT(payload.size() - plain.size(), 8u);
    EXPECT_EQ(memcmp(payload.data(), "CRYP", 4), 0);
    EXPECT_EQ(memcmp(payload.data() + 4, plain.data() + 4, kContainerPlainBytes - 4), 0);

    BLOWFISH context;
    BlowfishSetKey(context, reinterpret_cast<const uint8_t*>(kPayloadKey), kPayloadKeyLength);
    BlowfishDecipher(context, payload.data() + kContainerPlainBytes, payload.size() - kContainerPlainBytes);
    std::vector<BYTE> padded = plain;
    padded.resize(payload.size(), 0);
    EXPECT_TRUE(std::equal(padded.begin() + kContainerPlainBytes, padded.end(), payload.begin() + kContainerPlainBytes));
}

// The headers of a bare Windows program of either kind, with the PE signature at 0x80.
std::string BareProgram(WORD magic) {
    std::string image(0x400, '\0');
    image[0] = 'M', image[1] = 'Z';
    const DWORD signature = 0x80;
    memcpy(&image[0x3C], &signature, 4);
    memcpy(&image[signature], "PE\0\0", 4);
    memcpy(&image[signature + 0x18], &magic, 2);
    for (size_t i = signature + 0x1A; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + 1);
    const DWORD free = 0;  // LoaderFlags, at whichever of the two places
    memcpy(&image[signature + 0x70], &free, 4);
    memcpy(&image[signature + 0x80], &free, 4);
    return image;
}

TEST(SrpackBuildTest, PacksA32BitAndA64BitBaseWithTheOffsetInTheLoaderFlagsOfEach) {
    test::TestFolder content, output;
    MakeContent(content);
    const struct {
        const wchar_t* name;
        WORD magic;
        size_t field;  // LoaderFlags after the signature
    } kinds[] = {{L"pe32", IMAGE_NT_OPTIONAL_HDR32_MAGIC, 0x70}, {L"pe32plus", IMAGE_NT_OPTIONAL_HDR64_MAGIC, 0x80}};
    for (const auto& kind : kinds) {
        const std::string base = BareProgram(kind.magic);
        const std::wstring basePath = output / (std::wstring(kind.name) + L".exe");
        const std::wstring setup = output / (std::wstring(kind.name) + L"_setup.exe");
        test::WriteBytes(basePath, base);
        Outcome run = Srpack(BuildArguments(basePath, content, setup));
        ASSERT_EQ(run.exitCode, 0u) << run.output;
        const std::string installer = test::ReadBytes(setup);
        ASSERT_GT(installer.size(), base.size());
        std::string expectedHead = base;
        const DWORD offset = static_cast<DWORD>(base.size());
        memcpy(&expectedHead[0x80 + kind.field], &offset, 4);
        EXPECT_EQ(installer.substr(0, base.size()), expectedHead) << "only LoaderFlags changes";
        EXPECT_EQ(installer.compare(base.size(), 4, "CRYP"), 0);
        Outcome unpacked = Srpack(L"unpack " + Quoted(setup) + L" --out " + Quoted(output / kind.name));
        EXPECT_EQ(unpacked.exitCode, 0u) << unpacked.output;
        EXPECT_EQ(test::ReadBytes(output / (std::wstring(kind.name) + L"\\Demo.ime")), std::string(3000, 'M'));
    }
    std::string rom = BareProgram(0x107);
    test::WriteBytes(output / L"rom.exe", rom);
    Outcome run = Srpack(BuildArguments(output / L"rom.exe", content, output / L"rom_setup.exe"));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("is not a 32-bit or 64-bit Windows program"), std::string::npos) << run.output;
}

// Sets the last-write time of a file from a local time.
void SetLocalWriteTime(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME local = {year, month, 0, day, hour, minute, second, 0};
    FILETIME localTime, utc;
    SystemTimeToFileTime(&local, &localTime);
    LocalFileTimeToFileTime(&localTime, &utc);
    fw::UniqueHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    SetFileTime(file.Get(), nullptr, nullptr, &utc);
}

TEST(SrpackBuildTest, TheCabinetHoldsTheWholeTreeWithNamesTimesAndAttributes) {
    test::TestFolder content, output, temp;
    MakeContent(content);
    CreateDirectoryW((content / L"$dataFiles$").c_str(), nullptr);
    CreateDirectoryW((content / L"$dataFiles$\\deep").c_str(), nullptr);
    CreateDirectoryW((content / L"empty").c_str(), nullptr);
    test::WriteBytes(content / L"$dataFiles$\\deep\\table.txt", "abc");
    test::WriteBytes(content / L"说明.txt", "");
    test::WriteBytes(content / L"locked.txt", "r");
    SetLocalWriteTime(content / L"$dataFiles$\\deep\\table.txt", 2021, 3, 4, 5, 6, 8);
    SetFileAttributesW((content / L"locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    Outcome run = Srpack(BuildArguments(kBase, content, output / L"setup.exe") + L" --keep-cabinet " +
                         Quoted(output / L"plain.cab"),
                     temp.Path());
    SetFileAttributesW((content / L"locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    std::vector<BYTE> cabinet = Bytes(output / L"plain.cab");
    ASSERT_GT(cabinet.size(), 44u);
    EXPECT_EQ(memcmp(cabinet.data(), "MSCF", 4), 0);
    EXPECT_EQ(At<uint32_t>(cabinet, 8), cabinet.size());  // cbCabinet
    EXPECT_EQ(At<uint16_t>(cabinet, 26), 1u);             // one folder,
    EXPECT_EQ(At<uint16_t>(cabinet, 36 + 6), 1u);         // compressed with MSZIP
    EXPECT_EQ(At<uint16_t>(cabinet, 28), 5u);             // every file, the empty folder leaves none

    std::map<std::string, CabinetEntry> entries = CabinetEntries(cabinet);
    const std::string chinese = Utf8(L"说明.txt");
    ASSERT_EQ(entries.size(), 5u);
    for (const char* name : {"InstallInfo.dif", "Demo.ime", "$dataFiles$\\deep\\table.txt", "locked.txt"}) {
        ASSERT_TRUE(entries.count(name)) << name;
        EXPECT_FALSE(entries[name].attributes & kNameIsUtf8) << name;
    }
    ASSERT_TRUE(entries.count(chinese));
    EXPECT_TRUE(entries[chinese].attributes & kNameIsUtf8);
    EXPECT_EQ(entries["InstallInfo.dif"].size, 1308u);
    EXPECT_EQ(entries["Demo.ime"].size, 3000u);
    EXPECT_EQ(entries[chinese].size, 0u);
    EXPECT_TRUE(entries["locked.txt"].attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(entries["Demo.ime"].attributes & FILE_ATTRIBUTE_READONLY);
    const CabinetEntry& table = entries["$dataFiles$\\deep\\table.txt"];
    EXPECT_EQ(table.date, (2021 - 1980) << 9 | 3 << 5 | 4);
    EXPECT_EQ(table.time, 5 << 11 | 6 << 5 | 8 / 2);

    EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "the cabinet and FCI's own files are removed";
}

TEST(SrpackBuildTest, AFileThatCannotBeReadFailsTheBuildAndLeavesNoTemporaryFiles) {
    test::TestFolder content, output, temp;
    MakeContent(content);
    test::WriteBytes(content / L"busy.dat", "held");
    fw::UniqueHandle held(
        CreateFileW((content / L"busy.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.Valid());
    Outcome run = Srpack(BuildArguments(kBase, content, output / L"setup.exe"), temp.Path());
    held.Reset();
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("busy.dat"), std::string::npos) << run.output;
    EXPECT_FALSE(test::Exists(output / L"setup.exe"));
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));

    ASSERT_EQ(Srpack(BuildArguments(kBase, content, output / L"setup.exe"), temp.Path()).exitCode, 0u);
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}

// The compression of a plain cabinet's one folder, from its CFFOLDER entry: 0 stored, 1 MSZIP.
uint16_t FolderCompression(const std::vector<BYTE>& cabinet) {
    const uint16_t flags = At<uint16_t>(cabinet, 30);
    const size_t reserve = (flags & 4) ? 4 + At<uint16_t>(cabinet, 36) : 0;  // cfhdrRESERVE_PRESENT
    return At<uint16_t>(cabinet, 36 + reserve + 6) & 0x0F;
}

TEST(SrpackBuildTest, CompressionIsMszipUnlessNoneIsAskedForAndAnythingElseIsRefused) {
    test::TestFolder content, output;
    MakeContent(content);
    std::string text;
    for (int i = 0; text.size() < 200000; ++i) text += "line " + std::to_string(i % 97) + " of a code table\r\n";
    test::WriteBytes(content / L"table.txt", text);
    const struct {
        const wchar_t* option;
        uint16_t compression;
    } kCases[] = {{L"", 1}, {L" --compression mszip", 1}, {L" --compression=MSZIP", 1},
                  {L" --compression none", 0}, {L" --compression=None", 0}};
    size_t storedSize = 0, mszipSize = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE(Utf8(c.option));
        const std::wstring cabinet = output / L"plain.cab";
        Outcome run = Srpack(BuildArguments(kBase, content, output / L"setup.exe") + L" --keep-cabinet " +
                             Quoted(cabinet) + c.option);
        ASSERT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find(c.compression ? "(MSZIP)" : "(stored)"), std::string::npos) << run.output;
        const std::vector<BYTE> plain = Bytes(cabinet);
        ASSERT_GT(plain.size(), 44u);
        EXPECT_EQ(FolderCompression(plain), c.compression);
        (c.compression ? mszipSize : storedSize) = plain.size();
    }
    EXPECT_GT(storedSize, text.size()) << "stored, the table is there byte for byte";
    EXPECT_LT(mszipSize, text.size() / 4) << "the repetitive table deflates well";

    for (const wchar_t* wrong : {L" --compression lzx", L" --compression", L" --compression=",
                                 L" --compression none --compression mszip"}) {
        DeleteFileW((output / L"setup.exe").c_str());
        Outcome run = Srpack(BuildArguments(kBase, content, output / L"setup.exe") + wrong);
        EXPECT_EQ(run.exitCode, 2u) << Utf8(wrong) << run.output;
        EXPECT_FALSE(test::Exists(output / L"setup.exe")) << Utf8(wrong);
    }
    Outcome lzx = Srpack(BuildArguments(kBase, content, output / L"setup.exe") + L" --compression lzx");
    EXPECT_NE(lzx.output.find("--compression is none or mszip"), std::string::npos) << lzx.output;
}

// SrpackUnpackTest: what srpack builds comes back through the installer's own extractor.

ULONGLONG WriteTicks(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return ULARGE_INTEGER{{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}}.QuadPart;
}

// Every file below a folder: relative name to contents, time and attributes.
struct Unpacked {
    std::string bytes;
    ULONGLONG time;
    DWORD attributes;
    bool operator==(const Unpacked& o) const { return bytes == o.bytes && time == o.time && attributes == o.attributes; }
};

std::map<std::wstring, Unpacked> Files(const std::wstring& folder) {
    std::map<std::wstring, Unpacked> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        const std::wstring path = e.path().wstring();
        // Only the attributes a cabinet keeps; the archive bit is the file system's own.
        const DWORD attributes = GetFileAttributesW(path.c_str()) &
                                 (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        files[std::filesystem::relative(e.path(), folder).wstring()] = {test::ReadBytes(path), WriteTicks(path),
                                                                         attributes};
    }
    return files;
}

TEST(SrpackUnpackTest, EveryFileComesBackWithItsTimeAndAttributes) {
    test::TestFolder content, output;
    MakeContent(content);
    std::filesystem::create_directories(content / L"a\\b\\c");
    test::WriteBytes(content / L"a\\b\\c\\深层.bin", std::string(70000, 'z') + "end");
    test::WriteBytes(content / L"Ünïcode naïve.txt", "a name beyond plain ASCII");
    test::WriteBytes(content / L"readonly.txt", "r");
    test::WriteBytes(content / L"hidden.txt", "h");
    SetLocalWriteTime(content / L"a\\b\\c\\深层.bin", 2019, 12, 31, 23, 59, 58);  // DOS times count 2 seconds
    SetLocalWriteTime(content / L"readonly.txt", 2001, 2, 3, 4, 5, 6);
    SetFileAttributesW((content / L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((content / L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    for (const auto& e : std::filesystem::recursive_directory_iterator(content.Path())) {
        if (e.is_regular_file() && e.path().filename() != L"深层.bin" && e.path().filename() != L"readonly.txt") {
            SetLocalWriteTime(e.path().wstring(), 2024, 6, 7, 8, 9, 10);
        }
    }
    Outcome built = Srpack(BuildArguments(kBase, content, output / L"setup.exe") + L" --keep-cabinet " +
                           Quoted(output / L"plain.cab"));
    ASSERT_EQ(built.exitCode, 0u) << built.output;
    const auto expected = Files(content.Path());
    SetFileAttributesW((content / L"readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    // The installer (deciphered), the bare payload, and the plain cabinet (unkeyed).
    std::string installer = test::ReadBytes(output / L"setup.exe");
    test::WriteBytes(output / L"_backup_.dat", installer.substr(Bytes(kBase).size()));
    for (const wchar_t* input : {L"setup.exe", L"_backup_.dat", L"plain.cab"}) {
        const std::wstring out = output / (std::wstring(L"out_") + input);
        Outcome run = Srpack(L"unpack " + Quoted(output / input) + L" --out " + Quoted(out));
        ASSERT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find(Utf8(L"深层.bin")), std::string::npos) << "each file is listed";
        EXPECT_TRUE(Files(out) == expected) << Utf8(input);
        for (const auto& e : std::filesystem::recursive_directory_iterator(out)) {
            SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
}

TEST(SrpackUnpackTest, ADamagedOrForeignFileFailsWithASentence) {
    test::TestFolder content, output;
    MakeContent(content);
    ASSERT_EQ(Srpack(BuildArguments(kBase, content, output / L"setup.exe")).exitCode, 0u);
    std::string installer = test::ReadBytes(output / L"setup.exe");
    test::WriteBytes(output / L"cut.exe", installer.substr(0, installer.size() - 1000));
    test::WriteBytes(output / L"text.txt", "neither");
    for (const wchar_t* input : {L"cut.exe", L"text.txt"}) {
        Outcome run = Srpack(L"unpack " + Quoted(output / input) + L" --out " + Quoted(output / L"out"));
        EXPECT_EQ(run.exitCode, 1u) << Utf8(input);
        EXPECT_NE(run.output.find("srpack: "), std::string::npos) << run.output;
    }
}

// SrpackInstallTest: an installer with a stored cabinet, run unattended as a vendor's users
// would, places the same files as one with MSZIP.
class SrpackInstallTest : public test::ProgramRunTest {};

TEST_F(SrpackInstallTest, AStoredAndAnMszipPackageInstallTheSameFiles) {
    test::TestFolder content;
    const test::TestFolder& output = m_folder;
    const std::filesystem::path demo =
        std::filesystem::path(test::ProgramBeside(L"DemoSetup.exe")).parent_path().parent_path() / L"demo" / L"content";
    for (const auto& e : std::filesystem::recursive_directory_iterator(demo)) {
        const std::wstring to = content / std::filesystem::relative(e.path(), demo).wstring();
        if (e.is_directory()) CreateDirectoryW(to.c_str(), nullptr);
        else ASSERT_TRUE(CopyFileW(e.path().c_str(), to.c_str(), FALSE)) << e.path().string();
    }
    std::filesystem::create_directories(content / L"tables\\deep");
    std::string table;
    for (int i = 0; table.size() < 300000; ++i) table += std::to_string(i * 7919 % 10007) + " ";
    test::WriteBytes(content / L"tables\\deep\\码表.txt", table);
    test::WriteBytes(content / L"tables\\empty.dat", "");

    // What the installation folder should hold: the content less what goes elsewhere (the
    // module becomes the system folder's "Demo(1).ime").
    auto expected = Files(content.Path());
    const std::string module = expected[L"Demo.ime"].bytes;
    for (auto it = expected.begin(); it != expected.end();) {
        const bool elsewhere = it->first == L"InstallInfo.dif" || it->first == L"Demo.ime" ||
                               it->first.rfind(L"$dataFiles$", 0) == 0;
        it = elsewhere ? expected.erase(it) : std::next(it);
    }
    for (const wchar_t* compression : {L"none", L"mszip"}) {
        SCOPED_TRACE(Utf8(compression));
        const std::wstring setup = output / (std::wstring(compression) + L"Setup.exe");
        Outcome built = Srpack(BuildArguments(kBase, content, setup) + L" --compression " + compression);
        ASSERT_EQ(built.exitCode, 0u) << built.output;
        const std::wstring target = output / (std::wstring(compression) + L"_installed");
        const std::wstring log = output / (std::wstring(compression) + L".log");
        const DWORD code = Run(setup, L"/S \"/D=" + target + L"\" \"/LOG=" + log + L"\"");
        const std::string registered = test::ReadBytes(test::SystemFolderOnDisk() + L"\\Demo(1).ime");
        test::RemoveDemoInstallation();
        ASSERT_TRUE(test::Completed(code)) << test::ReadBytes(log);

        EXPECT_EQ(registered, module);
        auto installed = Files(target);
        std::string backup = installed[L"_backup_.dat"].bytes;
        EXPECT_EQ(backup, test::ReadBytes(setup).substr(Bytes(kBase).size())) << "the payload is kept as it came";
        EXPECT_TRUE(installed.erase(L"_backup_.dat") && installed.erase(L"unstall.exe"));
        EXPECT_EQ(installed.size(), expected.size());
        for (const auto& [name, file] : expected) {
            ASSERT_TRUE(installed.count(name)) << Utf8(name);
            EXPECT_EQ(installed[name].bytes, file.bytes) << Utf8(name);
        }
    }
}

}  // namespace
