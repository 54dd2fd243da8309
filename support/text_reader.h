// READTEXT: a whole text file as UTF-16, whatever its encoding; ReadTextLine cuts it into lines.
#pragma once
#include <windows.h>

class READTEXT {
public:
    READTEXT();
    virtual ~READTEXT();
    READTEXT(const READTEXT&) = delete;
    READTEXT& operator=(const READTEXT&) = delete;

    // Reads and decodes the file: UTF-8 with or without its mark, UTF-16 LE or BE with its
    // mark, else the ANSI code page. False when the file cannot be opened or mapped (an empty
    // file cannot be mapped); then no text is held.
    virtual bool LoadFile(const wchar_t* path);
    // Frees the text; the length stays as it was.
    void FreeText();

    const wchar_t* Path() const { return m_path; }
    const wchar_t* Text() const { return m_text; }
    // The units the loader counts as text. For UTF-16 files it is the file size in units,
    // the mark included, so its last unit is the terminating zero.
    int TextLength() const { return m_textLength; }

private:
    bool Decode(const BYTE* bytes, DWORD size);

    wchar_t m_path[MAX_PATH];
    wchar_t* m_text;
    int m_textLength;
};

// Units of a line buffer: a line longer than this is returned in pieces.
constexpr int kMaxLineUnits = 512;

// Copies the line that starts at `from` into `line` (room for kMaxLineUnits + 1 units) and
// returns the units consumed, the run of CR and LF after it included; 0 at the end of the text.
int ReadTextLine(wchar_t* line, const wchar_t* from);

// Well-formed multi-byte UTF-8 that is not plain ASCII.
bool IsUtf8Text(const BYTE* bytes, int count);

// One unit per UTF-8 sequence (the low 16 bits of its code point) into out, which holds
// `limit` units; at most limit - 1 are written, then a zero. A null out only counts.
// Returns the units decoded.
DWORD DecodeUtf8(const BYTE* bytes, DWORD count, wchar_t* out, DWORD limit);
