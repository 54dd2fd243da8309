// The log of an unattended run.
#include "install/progress_log.h"

#include <cstdio>
#include <string>

ProgressLog::ProgressLog(const wchar_t* path)
    : m_file(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

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
