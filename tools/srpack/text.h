// Conversions between UTF-16 and UTF-8, and writing lines to the console streams.
#pragma once
#include <string>

std::string ToUtf8(const std::wstring& text);

// False when the bytes are not valid UTF-8.
bool FromUtf8(const char* bytes, std::wstring& text);

bool IsAscii(const std::wstring& text);

// One line to standard output or standard error. A console gets UTF-16; a pipe or a file
// gets UTF-8, which a Linux terminal behind Wine shows as it should.
void PrintOut(const std::wstring& line);
void PrintError(const std::wstring& line);
