// The log of an unattended run.
#include "install/progress_log.h"

#include <cstdio>
#include <string>

#include "run/held_folder.h"

ProgressLog::ProgressLog(const wchar_t* path) {
    if (!path || !path[0]) return;
    fw::UniqueHandle file(CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.Valid()) return;
    // Logs often go to a folder that users may write (a share for the logs of many machines):
    // a link or a second name there would have this elevated run append to a file of
    // someone's choosing.
    if (!IsPlainFileAt(file.Get(), path)) {
        m_refused = true;
        return;
    }
    m_file = std::move(file);
}

void ProgressLog::Write(const wchar_t* line) {
    if (!Valid()) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u  ", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond, now.wMilliseconds);
    std::string text = stamp;
    const int length = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    if (length > 1) {
        std::string utf8(length, '\0');
        WideCharToMultiByte(CP_UTF8, 0, line, -1, &utf8[0], length, nullptr, nullptr);
        text.append(utf8.c_str());
    }
    text += "\r\n";
    DWORD written;
    WriteFile(m_file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
