// A sequence's report kept as it came, for the tests to read back.
#pragma once
#include <string>
#include <vector>

#include "install/install_context.h"

namespace test {

struct RecordedProgress : ProgressSink {
    void ShowLine(const wchar_t* line) override { lines.emplace_back(line); }
    void ShowPosition(int position) override { positions.push_back(position); }

    std::vector<std::wstring> lines;
    std::vector<int> positions;
};

}  // namespace test
