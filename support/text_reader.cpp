// The whole-file text reader and its line cutter.
#include "support/text_reader.h"

#include <cstring>
#include <cwchar>

#include "framework/handles.h"
#include "support/bounded_text.h"

namespace {

wchar_t* AllocateUnits(DWORD units) {
    return static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, units * sizeof(wchar_t)));
}

bool StartsWith(const BYTE* bytes, DWORD size, const char* mark, DWORD length) {
    return size >= length && memcmp(bytes, mark, length) == 0;
}

// A read view of a mapping, unmapped when it goes.
class MappedView {
public:
    explicit MappedView(HANDLE mapping) : m_view(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {}
    ~MappedView() { if (m_view) UnmapViewOfFile(m_view); }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    const BYTE* Bytes() const { return static_cast<const BYTE*>(m_view); }

private:
    void* m_view;
};

}  // namespace

READTEXT::READTEXT() : m_path{}, m_text(nullptr), m_textLength(0) {}

READTEXT::~READTEXT() { FreeText(); }

void READTEXT::FreeText() {
    if (m_text) HeapFree(GetProcessHeap(), 0, m_text);
    m_text = nullptr;
}

bool READTEXT::LoadFile(const wchar_t* path) {
    FreeText();
    CopyCut(m_path, path);
    fw::UniqueHandle file(CreateFileW(m_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    LARGE_INTEGER size;
    // Sizes are counted in 32 bits below; a text of gigabytes is no list of ours.
    if (!GetFileSizeEx(file.Get(), &size) || size.HighPart != 0 || size.LowPart > 0x3FFFFFFF) return false;
    fw::UniqueHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.Valid()) return false;
    MappedView view(mapping.Get());
    if (!view.Bytes()) return false;
    return Decode(view.Bytes(), size.LowPart);
}

bool READTEXT::Decode(const BYTE* bytes, DWORD size) {
    if (StartsWith(bytes, size, "\xEF\xBB\xBF", 3)) {
        m_text = AllocateUnits(size + 7);
        if (!m_text) return false;
        m_textLength = DecodeUtf8(bytes + 3, size - 3, m_text, size + 7);
        return true;
    }
    const bool little = StartsWith(bytes, size, "\xFF\xFE", 2);
    if (little || StartsWith(bytes, size, "\xFE\xFF", 2)) {
        // An odd size gets one more byte, so that a whole zero unit ends the text.
        m_text = AllocateUnits((size + 1) / 2);
        if (!m_text) return false;
        memcpy(m_text, bytes + 2, size - 2);
        if (!little) {
            for (wchar_t* unit = m_text; *unit; ++unit) *unit = static_cast<wchar_t>((*unit << 8) | (*unit >> 8));
        }
        m_textLength = static_cast<int>(size / 2);
        return true;
    }
    if (IsUtf8Text(bytes, static_cast<int>(size))) {
        m_text = AllocateUnits(size + 10);
        if (!m_text) return false;
        m_textLength = DecodeUtf8(bytes, size, m_text, size + 10);
        return true;
    }
    // ANSI text ends at its first zero byte.
    const BYTE* zero = static_cast<const BYTE*>(memchr(bytes, 0, size));
    const DWORD n = zero ? static_cast<DWORD>(zero - bytes) : size;
    m_text = AllocateUnits(n + 1);
    if (!m_text) return false;
    if (n) MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes), n, m_text, n);
    m_textLength = static_cast<int>(wcslen(m_text));
    return true;
}

bool IsUtf8Text(const BYTE* bytes, int count) {
    if (count <= 0) return false;
    int expected = 0;
    bool ascii = true;
    for (int i = 0; i < count; ++i) {
        const BYTE b = bytes[i];
        if (b >= 0x80) ascii = false;
        if (expected > 0) {
            if ((b & 0xC0) != 0x80) return false;
            --expected;
            continue;
        }
        if (b < 0x80) continue;
        int ones = 0;
        while (ones < 8 && (b & (0x80 >> ones))) ++ones;
        if (ones == 1) return false;
        expected = ones - 1;
    }
    return expected == 0 && !ascii;
}

DWORD DecodeUtf8(const BYTE* bytes, DWORD count, wchar_t* out, DWORD limit) {
    // Bytes that a sequence needs beyond the end count as zero.
    auto at = [&](DWORD i) -> DWORD { return i < count ? bytes[i] : 0; };
    DWORD consumed = 0, units = 0;
    while (consumed < count && units + 1 < limit) {
        const DWORD lead = bytes[consumed];
        DWORD unit, length;
        if (lead < 0x80) {
            unit = lead, length = 1;
        } else if ((lead & 0xE0) == 0xC0) {
            unit = ((lead & 0x1F) << 6) | (at(consumed + 1) & 0x3F), length = 2;
        } else if ((lead & 0xF0) == 0xE0) {
            unit = ((lead & 0x0F) << 12) | ((at(consumed + 1) & 0x3F) << 6) | (at(consumed + 2) & 0x3F), length = 3;
        } else if ((lead & 0xF8) == 0xF0) {
            // No surrogate pair: a character beyond U+FFFF keeps its low 16 bits.
            unit = ((at(consumed + 1) & 0x0F) << 12) | ((at(consumed + 2) & 0x3F) << 6) | (at(consumed + 3) & 0x3F);
            length = 4;
        } else {
            unit = ((at(consumed + 2) & 0x0F) << 12) | ((at(consumed + 3) & 0x3F) << 6) | (at(consumed + 4) & 0x3F);
            length = 5;
        }
        if (out) out[units] = static_cast<wchar_t>(unit);
        ++units;
        consumed += length;
    }
    if (out && limit) out[units] = 0;
    return units;
}

int ReadTextLine(wchar_t* line, const wchar_t* from) {
    int copied = 0;
    if (!from[0]) {
        line[0] = 0;
        return 0;
    }
    for (;;) {
        if (copied == kMaxLineUnits) break;
        const wchar_t unit = from[copied];
        if (unit == L'\r' || unit == L'\n') {
            int next = copied;
            while (from[next] == L'\r' || from[next] == L'\n') ++next;
            line[copied] = 0;
            return next;
        }
        line[copied++] = unit;
        if (!from[copied]) break;
    }
    line[copied] = 0;
    return copied;
}
