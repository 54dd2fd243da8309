// srbench: the extractor's throughput, keyed against unkeyed, and the decipher speed.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "payload/blowfish.h"
#include "payload/cabinet.h"
#include "payload/container.h"
#include "payload/payload_key.h"
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

unsigned long long TreeBytes(const std::wstring& folder) {
    unsigned long long total = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        if (e.is_regular_file()) total += e.file_size();
    }
    return total;
}

// One extraction's seconds; 0 when it failed.
double TimeExtraction(const std::wstring& cabinet, const std::wstring& out, bool keyed) {
    test::RemoveTree(out);
    Cabinet::CExtract extractor;
    if (keyed) extractor.SetKey(kPayloadKeyLength);
    const double start = Seconds();
    if (!extractor.Init() || !extractor.Extract(cabinet.c_str(), out.c_str())) {
        fprintf(stderr, "extraction failed with error %d\n", extractor.LastError().code);
        return 0;
    }
    return Seconds() - start;
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: srbench CABINET WORK_FOLDER\n");
        return 2;
    }
    const std::wstring cabinet = argv[1];
    const std::wstring work = std::wstring(argv[2]) + L"\\";
    std::filesystem::create_directories(work);
    std::string plain = test::ReadBytes(cabinet);
    std::vector<uint8_t> container(plain.begin(), plain.end());
    if (!EncipherContainer(container)) {
        fprintf(stderr, "not a cabinet\n");
        return 2;
    }
    const std::wstring payload = work + L"payload.cab";
    test::WriteBytes(payload, std::string(container.begin(), container.end()));

    // Keyed and unkeyed runs take turns, so that the disk's own rhythm hits both alike.
    const int kRuns = 7;
    std::vector<double> unkeyedTimes, keyedTimes;
    for (int i = 0; i < kRuns; ++i) {
        unkeyedTimes.push_back(TimeExtraction(cabinet, work + L"out", false));
        keyedTimes.push_back(TimeExtraction(payload, work + L"out", true));
        if (unkeyedTimes.back() == 0 || keyedTimes.back() == 0) return 1;
    }
    const unsigned long long bytes = TreeBytes(work + L"out");
    test::RemoveTree(work + L"out");
    const double unkeyed = Median(unkeyedTimes), keyed = Median(keyedTimes);
    const double mb = double(bytes) / 1e6;
    printf("cabinet: %.1f MB packed, %.1f MB in its files; median of %d runs\n", plain.size() / 1e6, mb, kRuns);
    printf("unkeyed extraction: %8.1f MB/s (%.3f s)\n", mb / unkeyed, unkeyed);
    printf("keyed extraction:   %8.1f MB/s (%.3f s)\n", mb / keyed, keyed);
    printf("keyed / unkeyed time: %.3f (target: at most 1.10)\n", keyed / unkeyed);

    std::vector<uint8_t> block(64 << 20, 0x5A);
    BLOWFISH cipher;
    BlowfishSetKey(cipher, reinterpret_cast<const uint8_t*>(kPayloadKey), kPayloadKeyLength);
    const double start = Seconds();
    BlowfishDecipher(cipher, block.data(), block.size());
    const double elapsed = Seconds() - start;
    printf("Blowfish decipher:  %8.1f MB/s\n", block.size() / 1e6 / elapsed);
    test::RemoveTree(work);
    return 0;
}
