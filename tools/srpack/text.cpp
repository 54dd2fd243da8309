// Text conversions and console output.
#include "tools/srpack/text.h"

#include <windows.h>

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

bool FromUtf8(const char* bytes, std::wstring& text) {
    text.clear();
    if (!*bytes) return true;
    int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, -1, nullptr, 0);
    if (size <= 0) return false;
    text.resize(size);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, -1, &text[0], size);
    text.pop_back();  // the terminating zero
    return true;
}

bool IsAscii(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c > 0x7F) return false;
    }
    return true;
}

namespace {

void PrintLine(DWORD stream, const std::wstring& line) {
    HANDLE handle = GetStdHandle(stream);
    if (!handle || handle == INVALID_HANDLE_VALUE) return;
    std::wstring text = line + L"\n";
    DWORD mode, written;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        std::string bytes = ToUtf8(text);
        WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

}  // namespace

void PrintOut(const std::wstring& line) { PrintLine(STD_OUTPUT_HANDLE, line); }
void PrintError(const std::wstring& line) { PrintLine(STD_ERROR_HANDLE, line); }
