// srbench: the start-up's phases as the product's own code runs them, extraction of the same
// cabinet keyed and unkeyed, and the decipher speed. Prints one "name value" line per figure
// for scripts/bench, which takes the medians and compares; it asserts nothing.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

#include "guard/process_finder.h"
#include "install/install_context.h"
#include "install/install_steps.h"
#include "install/journal.h"
#include "payload/blowfish.h"
#include "payload/cabinet.h"
#include "payload/payload_key.h"
#include "payload/records.h"
#include "run/payload_prep.h"
#include "run/run_state.h"
#include "support/bounded_text.h"
#include "tests/harness/test_folder.h"

namespace {

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

struct TreeSize {
    unsigned long long files = 0, bytes = 0;
};

TreeSize Measure(const std::wstring& folder) {
    TreeSize size;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        if (e.is_regular_file()) ++size.files, size.bytes += e.file_size();
    }
    return size;
}

// The working copy's start-up after its relaunch, by the product's functions: the copy of
// itself that the first process makes (CopyFileW, as the relaunch does), then the .tmp copy
// and the split, then the keyed extraction. Each phase's seconds; false when one failed.
bool TimeStartup(const std::wstring& installer, const std::wstring& work, double& selfCopy, double& split,
                 double& keyed) {
    RUNSTATE state = {};
    CopyCut(state.workFolder, work.c_str());
    FormatCut(state.ownPath, kPathChars, L"%s___temp.exe", state.workFolder);
    double start = Seconds();
    if (!CopyFileW(installer.c_str(), state.ownPath, FALSE)) return false;
    selfCopy = Seconds() - start;
    start = Seconds();
    if (!SplitInstaller(state)) return false;
    split = Seconds() - start;
    start = Seconds();
    if (!ExtractPayload(state)) return false;
    keyed = Seconds() - start;
    return true;
}

// The denominator of every ratio: the same library unpacking the plain cabinet, no key.
bool TimePlainExtraction(const std::wstring& cabinet, const std::wstring& out, double& seconds) {
    Cabinet::CExtract extractor;
    const double start = Seconds();
    if (!extractor.Init() || !extractor.Extract(cabinet.c_str(), out.c_str())) {
        fprintf(stderr, "srbench: the plain extraction failed with error %d\n", extractor.LastError().code);
        return false;
    }
    seconds = Seconds() - start;
    return true;
}

// One half of the start-up's figures, so that the disk can be let settle between the two:
// "plain" unpacks the plain cabinet into WORK\\plain and leaves it there; "keyed" runs the
// working copy's start-up into WORK\\work and, when the plain tree is there, checks that both
// unpacked the same files, then removes both.
int Startup(const std::wstring& installer, const std::wstring& cabinet, const std::wstring& workRoot,
            const std::wstring& phase) {
    const std::wstring work = workRoot + L"\\work\\", plainOut = workRoot + L"\\plain\\";
    if (phase == L"plain") {
        test::RemoveTree(plainOut);
        std::filesystem::create_directories(plainOut);
        double plain = 0;
        if (!TimePlainExtraction(cabinet, plainOut, plain)) return 1;
        printf("unkeyed %.4f\n", plain);
        return 0;
    }
    if (phase != L"keyed") return 2;
    test::RemoveTree(work);
    std::filesystem::create_directories(work);
    double selfCopy = 0, split = 0, keyed = 0;
    if (!TimeStartup(installer, work, selfCopy, split, keyed)) {
        fprintf(stderr, "srbench: the start-up of %ls failed\n", installer.c_str());
        return 1;
    }
    const TreeSize unpacked = Measure(work + L"SR_INSTALL");
    if (std::filesystem::exists(plainOut)) {
        const TreeSize plainSize = Measure(plainOut);
        if (unpacked.files != plainSize.files || unpacked.bytes != plainSize.bytes) {
            fprintf(stderr, "srbench: the keyed extraction gave %llu files, the plain one %llu\n", unpacked.files,
                    plainSize.files);
            test::RemoveTree(workRoot);
            return 1;
        }
    }
    test::RemoveTree(workRoot);
    printf("self-copy %.4f\nsplit %.4f\nkeyed %.4f\nfiles %llu\nbytes %llu\n", selfCopy, split, keyed, unpacked.files,
           unpacked.bytes);
    return 0;
}

// One placement of the installer's payload into target: split and extract afresh (the
// placement empties the payload folder), then time step 1 alone, with a journal or without.
// A journal records every file and copies aside each one it replaces; the steps after the
// placement add a few values to it, so the placement is where its cost lies.
bool TimePlacement(const std::wstring& installer, const std::wstring& work, const std::wstring& target, bool journaled,
                   double& seconds) {
    test::RemoveTree(work);
    std::filesystem::create_directories(work);
    RUNSTATE state = {};
    CopyCut(state.workFolder, work.c_str());
    FormatCut(state.ownPath, kPathChars, L"%s___temp.exe", state.workFolder);
    PACKAGECONFIG config = {};
    wchar_t info[kPathChars];
    if (!CopyFileW(installer.c_str(), state.ownPath, FALSE) || !SplitInstaller(state) || !ExtractPayload(state)) {
        return false;
    }
    FormatCut(info, kPathChars, L"%sInstallInfo.dif", state.payloadFolder);
    if (!LoadPackageConfig(info, config)) return false;
    InstallContext context(state, nullptr, false);
    context.package = &config;
    CopyCut(context.installFolder, target.c_str());
    InstallJournal journal;
    const double start = Seconds();
    if (journaled) {
        if (!journal.Begin(config.name, context.installFolder)) return false;
        context.journal = &journal;
    }
    const bool placed = PlaceFiles(context) && (!journaled || journal.Flush());
    if (journaled) journal.Finish();
    seconds = Seconds() - start;
    return placed;
}

// What the undo journal costs the placement: into a fresh folder, and over the files of an
// earlier placement, each time beside the same placement without a journal.
int Journal(const std::wstring& installer, const std::wstring& workRoot) {
    const std::wstring work = workRoot + L"\\work\\", plain = workRoot + L"\\plain\\", kept = workRoot + L"\\kept\\";
    test::RemoveTree(workRoot);
    double fresh = 0, freshJournaled = 0, over = 0, overJournaled = 0;
    const bool timed = TimePlacement(installer, work, plain, false, fresh) &&
                       TimePlacement(installer, work, kept, true, freshJournaled) &&
                       TimePlacement(installer, work, plain, false, over) &&
                       TimePlacement(installer, work, kept, true, overJournaled);
    test::RemoveTree(workRoot);
    if (!timed) {
        fprintf(stderr, "srbench: a placement of %ls failed\n", installer.c_str());
        return 1;
    }
    printf("placement-fresh %.4f\njournal-fresh %.4f\nplacement-over %.4f\njournal-over %.4f\n", fresh,
           freshJournaled - fresh, over, overJournaled - over);
    return 0;
}

// What every install does between the extraction and step 1, apart from the log: the look
// for processes that hold the module, and the journal's start with the look for journals
// that killed runs left.
int Checks(const std::wstring& packageName, const std::wstring& workRoot) {
    wchar_t key[kModuleKeyChars];
    if (!FormatModuleKey(key, packageName.c_str())) return 1;
    double start = Seconds();
    ProcessFinder finder;
    finder.CheckLoaded(key);
    const double guard = Seconds() - start;
    start = Seconds();
    UndoLeftJournals(packageName.c_str());
    InstallJournal journal;
    const std::wstring folder = workRoot + L"\\journal\\";
    if (!journal.Begin(packageName.c_str(), folder.c_str())) return 1;
    journal.Finish();
    printf("guard %.4f\njournal-start %.4f\n", guard, Seconds() - start);
    return 0;
}

// The shortcut step's two costs apart: the first call into COM, which under Wine starts the
// desktop process when none runs (its apartment needs a window), then ten links made as the
// step makes them, each of which Wine follows by starting its menu builder.
int Links(const std::wstring& workRoot) {
    const std::wstring folder = workRoot + L"\\links\\";
    test::RemoveTree(workRoot);
    std::filesystem::create_directories(folder);
    double start = Seconds();
    if (FAILED(CoInitialize(nullptr))) return 1;
    const double com = Seconds() - start;
    start = Seconds();
    for (int i = 0; i < 10; ++i) {
        const std::wstring link = folder + std::to_wstring(i) + L".lnk";
        if (!CreateShortcut(L"C:\\windows\\notepad.exe", L"bench", link.c_str(), folder.c_str(), L"/n")) return 1;
    }
    const double links = Seconds() - start;
    test::RemoveTree(workRoot);
    printf("com-start %.4f\nten-links %.4f\n", com, links);
    return 0;
}

// The decipher as the extractor runs it, over a buffer of the extractor's size again and again
// for about a second: the same working set as OpenSSL's speed test with that block size.
int Blowfish() {
    std::vector<uint8_t> buffer(Cabinet::kDecipherBufferSize, 0x5A);
    BLOWFISH cipher;
    BlowfishSetKey(cipher, reinterpret_cast<const uint8_t*>(kPayloadKey), kPayloadKeyLength);
    unsigned long long bytes = 0;
    const double start = Seconds();
    double elapsed = 0;
    while (elapsed < 1.0) {
        for (int i = 0; i < 64; ++i) BlowfishDecipher(cipher, buffer.data(), buffer.size());
        bytes += 64ull * buffer.size();
        elapsed = Seconds() - start;
    }
    printf("blowfish %.1f\n", bytes / 1e6 / elapsed);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 6 && wcscmp(argv[1], L"startup") == 0) {
        return Startup(argv[2], argv[3], argv[4], argv[5]);
    }
    if (argc == 2 && wcscmp(argv[1], L"blowfish") == 0) return Blowfish();
    if (argc == 4 && wcscmp(argv[1], L"journal") == 0) return Journal(argv[2], argv[3]);
    if (argc == 4 && wcscmp(argv[1], L"checks") == 0) return Checks(argv[2], argv[3]);
    if (argc == 3 && wcscmp(argv[1], L"links") == 0) return Links(argv[2]);
    fprintf(stderr,
            "usage: srbench startup INSTALLER PLAIN_CABINET WORK_FOLDER plain|keyed\n"
            "       srbench blowfish\n"
            "       srbench journal INSTALLER WORK_FOLDER\n"
            "       srbench checks PACKAGE_NAME WORK_FOLDER\n"
            "       srbench links WORK_FOLDER\n");
    return 2;
}
