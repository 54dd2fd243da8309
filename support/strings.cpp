// Growable strings, a byte buffer and the creation of a whole folder path.
#include "support/strings.h"

#include <cstring>
#include <cwchar>
#include <new>

namespace {

const char* const kOutOfMemory = "Fatal error: Out of memory!";
const char* const kNoTerminator = "The string has no terminating null character!";
const DWORD kInitialChars = 300;

// Counts only inside the buffer, so that a text without terminator is caught, not overrun.
template <typename Char>
DWORD CheckedLength(const Char* chars, DWORD capacity) {
    DWORD length = 0;
    while (length < capacity && chars[length]) ++length;
    if (length >= capacity) throw kNoTerminator;
    return length;
}

// Makes room for count characters and a terminator, keeping the text.
template <typename Char>
void Grow(Char*& chars, DWORD& capacity, DWORD count) {
    if (count < capacity) return;
    // 2 * count characters must not overflow a 32-bit byte count.
    if (count > 0x3FFFFFFF / sizeof(Char)) throw kOutOfMemory;
    Char* grown = new (std::nothrow) Char[2 * count];
    if (!grown) throw kOutOfMemory;
    if (chars) {
        memcpy(grown, chars, (CheckedLength(chars, capacity) + 1) * sizeof(Char));
        delete[] chars;
    } else {
        grown[0] = 0;
    }
    chars = grown;
    capacity = 2 * count;
}

}  // namespace

// CWideString

CWideString::CWideString() : m_chars(nullptr), m_capacity(0) { Allocate(kInitialChars); }

CWideString::CWideString(const wchar_t* text) : m_chars(nullptr), m_capacity(0) {
    const DWORD length = text ? static_cast<DWORD>(wcslen(text)) : 0;
    Allocate(length > kInitialChars ? length : kInitialChars);
    AssignPart(text, length);
}

CWideString::CWideString(const CWideString& other) : CWideString(other.Text()) {}

CWideString& CWideString::operator=(const CWideString& other) {
    if (this != &other) {
        const DWORD length = other.Length();
        AssignPart(other.m_chars, length);
    }
    return *this;
}

CWideString::~CWideString() { delete[] m_chars; }

const wchar_t* CWideString::Text() const {
    CheckedLength(m_chars, m_capacity);
    return m_chars;
}

DWORD CWideString::Length() const { return CheckedLength(m_chars, m_capacity); }

void CWideString::Append(const CWideString& other) {
    if (&other == this) {
        const CWideString copy(other);  // growing would free the text being appended
        AppendPart(copy.m_chars, copy.Length());
        return;
    }
    AppendPart(other.m_chars, other.Length());
}

void CWideString::Append(const wchar_t* text) {
    if (text) AppendPart(text, static_cast<DWORD>(wcslen(text)));
}

void CWideString::AppendBackslash() { AppendPart(L"\\", 1); }

void CWideString::EnsureTrailingBackslash() {
    const DWORD length = Length();
    if (length < 2 || m_chars[length - 1] == L'\\') return;
    AppendBackslash();
}

void CWideString::ReplaceSlashes() {
    const DWORD length = Length();
    for (DWORD i = 0; i < length; ++i) {
        if (m_chars[i] == L'/') m_chars[i] = L'\\';
    }
}

void CWideString::AssignFromCodePage(const char* text, UINT codePage) {
    const DWORD bytes = text ? static_cast<DWORD>(strlen(text)) : 0;
    // No code page makes more than one UTF-16 unit of a byte.
    Allocate(bytes);
    const int written = bytes ? MultiByteToWideChar(codePage, 0, text, static_cast<int>(bytes), m_chars,
                                                    static_cast<int>(bytes))
                              : 0;
    m_chars[written > 0 ? written : 0] = 0;
}

void CWideString::SplitPath(CWideString& folder, CWideString& name) const {
    const wchar_t* text = Text();
    const wchar_t* slash = wcsrchr(text, L'\\');
    const DWORD folderLength = slash ? static_cast<DWORD>(slash - text + 1) : 0;
    // The name is taken first: the folder may be this string, shortened in place.
    const CWideString file(text + folderLength);
    folder.AssignPart(text, folderLength);
    name = file;
}

wchar_t* CWideString::GetBuffer(DWORD length) {
    Allocate(length);
    return m_chars;
}

void CWideString::Allocate(DWORD count) { Grow(m_chars, m_capacity, count); }

void CWideString::AssignPart(const wchar_t* text, DWORD length) {
    Allocate(length);
    if (length) memmove(m_chars, text, length * sizeof(wchar_t));
    m_chars[length] = 0;
}

void CWideString::AppendPart(const wchar_t* text, DWORD length) {
    const DWORD start = Length();
    Allocate(start + length);
    memcpy(m_chars + start, text, length * sizeof(wchar_t));
    m_chars[start + length] = 0;
}

// CAnsiString

CAnsiString::CAnsiString() : m_chars(nullptr), m_capacity(0) { Allocate(kInitialChars); }

CAnsiString::~CAnsiString() { delete[] m_chars; }

const char* CAnsiString::Text() const {
    CheckedLength(m_chars, m_capacity);
    return m_chars;
}

DWORD CAnsiString::Length() const { return CheckedLength(m_chars, m_capacity); }

void CAnsiString::AssignUtf8(const wchar_t* text) {
    const DWORD chars = text ? static_cast<DWORD>(wcslen(text)) : 0;
    Allocate(4 * chars);
    const int written = chars ? WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(chars), m_chars,
                                                    static_cast<int>(4 * chars), nullptr, nullptr)
                              : 0;
    m_chars[written > 0 ? written : 0] = 0;
}

void CAnsiString::Allocate(DWORD count) { Grow(m_chars, m_capacity, count); }

// CByteBuffer

CByteBuffer::~CByteBuffer() { delete[] m_bytes; }

void CByteBuffer::Reserve(DWORD count) {
    m_length = 0;
    if (m_capacity >= count) return;
    delete[] m_bytes;
    m_bytes = nullptr;
    m_capacity = 0;
    // Two spare bytes, so that the contents can always be ended by a wide terminator.
    if (count > 0xFFFFFFFF - 2) throw kOutOfMemory;
    m_bytes = new (std::nothrow) BYTE[count + 2];
    if (!m_bytes) throw kOutOfMemory;
    m_capacity = count;
}

// Folders

DWORD CreateFolderTree(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;

    CWideString parent(path);
    DWORD length = parent.Length();
    wchar_t* chars = parent.GetBuffer(length);
    if (length > 1 && chars[length - 1] == L'\\') chars[--length] = 0;
    wchar_t* slash = wcsrchr(chars, L'\\');
    if (!slash) return ERROR_INVALID_DRIVE;
    *slash = 0;
    const DWORD error = CreateFolderTree(chars);
    if (error) return error;

    if (!CreateDirectoryW(path, nullptr)) {
        const DWORD created = GetLastError();
        if (created != ERROR_ALREADY_EXISTS) return created;
    }
    return 0;
}
