// srpack: the package generator. Writes the package record and builds finished installers.
#include <windows.h>

#include <exception>
#include <new>
#include <string>

#include "tools/srpack/installer_builder.h"
#include "tools/srpack/package_info.h"
#include "tools/srpack/status.h"
#include "tools/srpack/text.h"
#include "tools/srpack/unpacker.h"

namespace {

std::wstring Usage() {
    std::wstring limits;
    for (const RecordText& field : kRecordTexts) {
        limits += L"  " + std::wstring(field.option) + L" " + std::to_wstring(field.capacity - 1) + L"\n";
    }
    return L"srpack makes an input-method installer from srinstallbase.exe and a content folder.\n"
           L"\n"
           L"  srpack info --out FILE --name NAME --layout TEXT [--comments TEXT] [--publisher TEXT]\n"
           L"              [--version TEXT] [--contact TEXT] [--homepage URL] [--phone TEXT] [--open RELPATH]\n"
           L"      Writes the package record InstallInfo.dif (1308 bytes). NAME names the package and its\n"
           L"      module NAME.ime; TEXT of --layout is the keyboard layout's display text; RELPATH is a\n"
           L"      file to open after installation, relative to the installation folder.\n"
           L"\n"
           L"  srpack build --base srinstallbase.exe --content DIR --out SETUP.exe [--keep-cabinet FILE]\n"
           L"               [--compression none|mszip]\n"
           L"      Packs every file below DIR into a cabinet, enciphers it and appends it to a copy of the\n"
           L"      base, whose header then gives the payload's offset. DIR must hold InstallInfo.dif and\n"
           L"      the module NAME.ime of the package that it names. The cabinet is MSZIP-compressed\n"
           L"      unless --compression none stores the files as they are: a larger installer that\n"
           L"      unpacks faster. --keep-cabinet also writes the plain cabinet to FILE, a debugging aid.\n"
           L"\n"
           L"  srpack unpack FILE --out DIR\n"
           L"      Extracts, with the installer's own extractor, an installer's payload (deciphered),\n"
           L"      a bare payload such as _backup_.dat, or a plain cabinet (as the update reads its\n"
           L"      downloads) into DIR, and prints each file it writes.\n"
           L"\n"
           L"Longest texts, in characters:\n" +
           limits +
           L"\n"
           L"Exit codes: 0 done, 1 failed, 2 wrong command line.";
}

bool AsksForHelp(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--help" || a == L"-h" || a == L"/?" || (i == 1 && a == L"help")) return true;
    }
    return false;
}

Status Dispatch(int argc, wchar_t** argv) {
    if (argc < 2) return UsageError(L"No command given.");
    const std::wstring command = argv[1];
    if (command == L"info") return RunInfo(argc - 2, argv + 2);
    if (command == L"build") return RunBuild(argc - 2, argv + 2);
    if (command == L"unpack") return RunUnpack(argc - 2, argv + 2);
    return UsageError(L"Unknown command \"" + command + L"\".");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (AsksForHelp(argc, argv)) {
        PrintOut(Usage());
        return kExitSuccess;
    }
    Status status;
    try {
        status = Dispatch(argc, argv);
    } catch (const std::bad_alloc&) {
        status = Failure(L"Out of memory.");
    } catch (const std::exception& e) {
        std::wstring what;
        for (const char* c = e.what(); *c; ++c) what += static_cast<wchar_t>(static_cast<unsigned char>(*c));
        status = Failure(L"Unexpected failure: " + what);
    }
    if (!status.Ok()) {
        PrintError(L"srpack: " + status.message);
        if (status.exitCode == kExitUsage) PrintError(L"Run \"srpack --help\" for the usage.");
    }
    return status.exitCode;
}
