// What both demo drivers share: saying what they do, and the temporary folder they work in.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

namespace demo {

// Wine passes bytes through to the Linux terminal; UTF-8 shows the Chinese texts.
inline void Say(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], size, nullptr, nullptr);
    utf8.pop_back();
    fputs(utf8.c_str(), stdout);
    fputs("\n", stdout);
    fflush(stdout);
}

inline std::wstring TempFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

}  // namespace demo
