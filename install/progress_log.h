// ProgressLog: the /LOG= file of an unattended run, one time-stamped UTF-8 line per report.
#pragma once
#include <windows.h>

#include "framework/handles.h"
#include "install/install_context.h"

class ProgressLog : public ProgressSink {
public:
    // Opens (creates or appends to) the file; Valid() tells whether that worked. A file that
    // is a link or has a second name is not written: Refused() tells.
    explicit ProgressLog(const wchar_t* path);
    bool Valid() const { return m_file.Valid(); }
    bool Refused() const { return m_refused; }

    // Appends "YYYY-MM-DD hh:mm:ss.mmm  line"; a line break inside the line is kept.
    void Write(const wchar_t* line);

    void ShowLine(const wchar_t* line) override { Write(line); }
    void ShowPosition(int) override {}

private:
    fw::UniqueHandle m_file;
    bool m_refused = false;
};
