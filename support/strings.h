// Growable strings and a byte buffer for the cabinet extractor and the update worker.
#pragma once
#include <windows.h>

// Both string classes grow the same way: asked for room for n characters while the capacity
// is n or less, they move to a buffer of 2n. They throw a const char* text: "Fatal error:
// Out of memory!" when a buffer cannot be had, "The string has no terminating null
// character!" when a text is read out of a buffer that has lost its terminator.

class CWideString {
public:
    CWideString();                      // empty, capacity 600
    CWideString(const wchar_t* text);   // capacity of at least 600; null is empty
    CWideString(const CWideString& other);
    CWideString& operator=(const CWideString& other);
    ~CWideString();

// Access: each of these checks that the text ends inside the buffer.
    const wchar_t* Text() const;
    DWORD Length() const;
    DWORD Capacity() const { return m_capacity; }

// Operations
    void Clear() { m_chars[0] = 0; }
    void Append(const CWideString& other);
    void Append(const wchar_t* text);   // text lies outside this string's buffer
    void AppendBackslash();
    // Nothing is added to a text of fewer than 2 characters ("" and "C" stay as they are).
    void EnsureTrailingBackslash();
    void ReplaceSlashes();              // every '/' becomes '\'
    void AssignFromCodePage(const char* text, UINT codePage);
    // folder: up to and including the last '\'; name: the rest. Without '\' the folder is
    // empty. Either may be this string itself.
    void SplitPath(CWideString& folder, CWideString& name) const;

    // A writable buffer with room for length characters and a terminator, for a caller that
    // fills it in place; the caller terminates what it writes.
    wchar_t* GetBuffer(DWORD length);

private:
    void Allocate(DWORD count);
    void AssignPart(const wchar_t* text, DWORD length);
    void AppendPart(const wchar_t* text, DWORD length);

    wchar_t* m_chars;
    DWORD m_capacity;
};

class CAnsiString {
public:
    CAnsiString();                      // empty, capacity 600
    CAnsiString(const CAnsiString&) = delete;
    CAnsiString& operator=(const CAnsiString&) = delete;
    ~CAnsiString();

    const char* Text() const;           // checks that the text ends inside the buffer
    DWORD Length() const;
    DWORD Capacity() const { return m_capacity; }

    void AssignUtf8(const wchar_t* text);

private:
    void Allocate(DWORD count);

    char* m_chars;
    DWORD m_capacity;
};

// Raw bytes whose contents a new reservation does not keep.
class CByteBuffer {
public:
    CByteBuffer() = default;
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;
    ~CByteBuffer();

    // Room for at least count bytes; the used length becomes 0 and earlier contents are lost
    // whenever the buffer has to be replaced.
    void Reserve(DWORD count);

    BYTE* Data() { return m_bytes; }
    DWORD Capacity() const { return m_capacity; }
    DWORD Length() const { return m_length; }
    void SetLength(DWORD length) { m_length = length <= m_capacity ? length : m_capacity; }

private:
    BYTE* m_bytes = nullptr;
    DWORD m_capacity = 0;
    DWORD m_length = 0;
};

// Creates every missing folder of a path; returns a Win32 error code (0 when done).
// A path with a trailing backslash is accepted; a name without any backslash that is not an
// existing folder gives ERROR_INVALID_DRIVE (15).
DWORD CreateFolderTree(const wchar_t* path);
