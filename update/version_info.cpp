// Version resources of module files.
#include "update/version_info.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "framework/handles.h"
#include "support/bounded_text.h"
#include "support/system_library.h"
#include "update/component_types.h"

namespace {

DWORD Align4(DWORD offset) { return (offset + 3) & ~3u; }

// version.dll, loaded from the system folder when first needed and kept for the rest of the
// process: imported, it would be looked up beside the program first. Without it every file
// counts as having no version information.
struct VersionApi {
    decltype(&GetFileVersionInfoSizeW) size = nullptr;
    decltype(&GetFileVersionInfoW) read = nullptr;
    decltype(&VerQueryValueW) query = nullptr;
};

const VersionApi& Version() {
    static const VersionApi api = [] {
        VersionApi found;
        static LoadedLibrary library;
        const bool complete = library.LoadSystem(L"version.dll") &&
                              library.Bind("GetFileVersionInfoSizeW", found.size) &&
                              library.Bind("GetFileVersionInfoW", found.read) && library.Bind("VerQueryValueW", found.query);
        if (!complete) found = VersionApi();
        return found;
    }();
    return api;
}

DWORD VersionInfoSize(const wchar_t* file) {
    DWORD ignored = 0;
    return Version().size ? Version().size(file, &ignored) : 0;
}

bool QueryValue(std::vector<BYTE>& info, const wchar_t* path, void** value, UINT* length) {
    return !info.empty() && Version().query(info.data(), path, value, length) && *value;
}

// The file's version information, read whole; empty when it has none.
std::vector<BYTE> ReadVersionInfo(const wchar_t* file) {
    const DWORD size = VersionInfoSize(file);
    std::vector<BYTE> data;
    if (size == 0) return data;
    data.resize(size);
    if (!Version().read(file, 0, size, data.data())) data.clear();
    return data;
}

struct Translation {
    WORD language;
    WORD codePage;
};
static_assert(sizeof(Translation) == 4, "a translation is a language and a code page");

// The entries of \VarFileInfo\Translation.
std::vector<Translation> ReadTranslations(std::vector<BYTE>& info) {
    std::vector<Translation> list;
    void* value = nullptr;
    UINT bytes = 0;
    if (!QueryValue(info, L"\\VarFileInfo\\Translation", &value, &bytes)) return list;
    const Translation* entries = static_cast<const Translation*>(value);
    list.assign(entries, entries + bytes / sizeof(Translation));
    return list;
}

// The text of the string `name` under the first translation that holds it.
const wchar_t* QueryString(std::vector<BYTE>& info, const std::vector<Translation>& translations,
                           const wchar_t* name, WORD* language) {
    for (const Translation& t : translations) {
        wchar_t query[128];
        FormatCut(query, 128, L"\\StringFileInfo\\%04x%04x\\%s", t.language, t.codePage, name);
        void* value = nullptr;
        UINT units = 0;
        if (QueryValue(info, query, &value, &units)) {
            if (language) *language = t.language;
            return static_cast<const wchar_t*>(value);
        }
    }
    return nullptr;
}

// A node of a version resource, checked to lie within its parent before any field is used, so
// that a malformed resource ends the walk instead of leading it outside the buffer.
struct Node {
    DWORD start = 0;
    DWORD end = 0;         // start + wLength
    const wchar_t* key = nullptr;
    DWORD valueStart = 0;
    DWORD childStart = 0;  // the first child, 4-byte aligned

    bool Read(const BYTE* data, DWORD start_, DWORD limit, bool textValue) {
        start = start_;
        if (start + sizeof(VersionNodeHeader) > limit) return false;
        VersionNodeHeader header;
        memcpy(&header, data + start, sizeof header);
        end = start + header.wLength;
        if (header.wLength < sizeof header || end > limit) return false;
        key = reinterpret_cast<const wchar_t*>(data + start + sizeof header);
        const DWORD keyUnits = static_cast<DWORD>((end - start - sizeof header) / 2);
        DWORD length = 0;
        while (length < keyUnits && key[length]) ++length;
        if (length == keyUnits) return false;  // the key is not terminated inside the node
        valueStart = Align4(start + sizeof header + (length + 1) * 2);
        if (textValue) return true;  // a string: its children are never walked
        childStart = Align4(valueStart + header.wValueLength);
        return header.wValueLength == 0 || valueStart + header.wValueLength <= end;
    }
};

// Where one matching string lies: the string and the nodes that enclose it.
struct StringPlace {
    DWORD string, stringEnd, table, block;
};

std::vector<StringPlace> FindStrings(const BYTE* data, DWORD rootEnd, DWORD firstChild, const wchar_t* name) {
    std::vector<StringPlace> places;
    Node block;
    for (DWORD at = firstChild; at < rootEnd && block.Read(data, at, rootEnd, false); at = Align4(block.end)) {
        if (wcscmp(block.key, L"StringFileInfo") != 0) continue;
        Node table;
        for (DWORD t = block.childStart; t < block.end && table.Read(data, t, block.end, false); t = Align4(table.end)) {
            Node string;
            for (DWORD s = table.childStart; s < table.end && string.Read(data, s, table.end, true);
                 s = Align4(string.end)) {
                if (wcscmp(string.key, name) == 0) {
                    places.push_back({string.start, string.end, table.start, block.start});
                }
            }
        }
    }
    return places;
}

void AddToLength(std::vector<BYTE>& data, DWORD node, long delta) {
    VersionNodeHeader header;
    memcpy(&header, data.data() + node, sizeof header);
    header.wLength = static_cast<WORD>(header.wLength + delta);
    memcpy(data.data() + node, &header, sizeof header);
}

// Puts a new string node in place of the one at `place`. The nodes after it move by the change
// of its padded size, so they stay 4-byte aligned; an enclosing node that ended with the old
// string ends with the new one, without padding.
bool ReplaceString(std::vector<BYTE>& data, const StringPlace& place, const wchar_t* name, const wchar_t* text) {
    DWORD keyBytes = static_cast<DWORD>((wcslen(name) + 1) * 2);
    if (keyBytes % 4 == 0) keyBytes += 2;
    const DWORD textBytes = static_cast<DWORD>((wcslen(text) + 1) * 2);
    const DWORD nodeLength = sizeof(VersionNodeHeader) + keyBytes + textBytes;
    const DWORD nodeSize = Align4(nodeLength);
    if (nodeLength > 0xFFFF) return false;

    VersionNodeHeader rootHeader;
    memcpy(&rootHeader, data.data(), sizeof rootHeader);
    const DWORD rootEnd = rootHeader.wLength;
    const DWORD oldPaddedEnd = Align4(place.stringEnd);
    const DWORD tail = oldPaddedEnd < rootEnd ? oldPaddedEnd : rootEnd;
    const long paddedDelta = static_cast<long>(nodeSize) - static_cast<long>(tail - place.string);

    std::vector<BYTE> node(nodeSize, 0);
    const VersionNodeHeader header = {static_cast<WORD>(nodeLength), static_cast<WORD>(textBytes / 2), 1};
    memcpy(node.data(), &header, sizeof header);
    memcpy(node.data() + sizeof header, name, wcslen(name) * 2);
    memcpy(node.data() + sizeof header + keyBytes, text, textBytes);

    std::vector<BYTE> rebuilt(data.begin(), data.begin() + place.string);
    rebuilt.insert(rebuilt.end(), node.begin(), node.end());
    rebuilt.insert(rebuilt.end(), data.begin() + tail, data.begin() + rootEnd);

    // Each enclosing node, by its length as it stands now (a later string may have changed it):
    // one that ended with the string now ends with the new node's text.
    for (DWORD node : {DWORD(0), place.block, place.table}) {
        VersionNodeHeader h;
        memcpy(&h, data.data() + node, sizeof h);
        const long newLength = node + h.wLength <= oldPaddedEnd ? static_cast<long>(place.string + nodeLength - node)
                                                                : static_cast<long>(h.wLength) + paddedDelta;
        if (newLength > 0xFFFF) return false;
        AddToLength(rebuilt, node, newLength - h.wLength);
    }
    rebuilt.resize(static_cast<WORD>(rebuilt[0] | (rebuilt[1] << 8)));
    data.swap(rebuilt);
    return true;
}

// A resource update of a file: discarded unless committed.
class ResourceUpdate {
public:
    explicit ResourceUpdate(const wchar_t* file) : m_update(BeginUpdateResourceW(file, FALSE)) {}
    ~ResourceUpdate() { if (m_update) EndUpdateResourceW(m_update, TRUE); }
    ResourceUpdate(const ResourceUpdate&) = delete;
    ResourceUpdate& operator=(const ResourceUpdate&) = delete;

    bool Valid() const { return m_update != nullptr; }
    bool Write(const wchar_t* type, const wchar_t* name, WORD language, const void* data, DWORD size) {
        return UpdateResourceW(m_update, type, name, language, const_cast<void*>(data), size) != FALSE;
    }
    bool Commit() {
        HANDLE update = m_update;
        m_update = nullptr;
        return EndUpdateResourceW(update, FALSE) != FALSE;
    }

private:
    HANDLE m_update;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) {
    reinterpret_cast<std::vector<WORD>*>(out)->push_back(language);
    return TRUE;
}

// The language in which the file stores its resource (type, name): `preferred` when it is one
// of them, else the first, else `preferred`. Written in another language than the one stored,
// the new resource would sit beside the old one instead of replacing it, and readers might go
// on finding the old.
WORD StoredLanguage(const wchar_t* file, const wchar_t* type, const wchar_t* name, WORD preferred) {
    std::vector<WORD> languages;
    LoadedLibrary module;
    if (module.Load(file, LOAD_LIBRARY_AS_DATAFILE)) {
        EnumResourceLanguagesW(module.Get(), type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    }
    for (WORD language : languages) {
        if (language == preferred) return preferred;
    }
    return languages.empty() ? preferred : languages[0];
}

// The language of the file's first translation; 0 when it has none.
WORD FileLanguage(const wchar_t* file) {
    std::vector<BYTE> info = ReadVersionInfo(file);
    const std::vector<Translation> translations = ReadTranslations(info);
    return translations.empty() ? 0 : translations[0].language;
}

bool CarryString(const wchar_t* newFile, const wchar_t* installedFile, const wchar_t* name) {
    wchar_t text[256] = {};
    return GetVersionString(installedFile, name, text, 256) != 0 && SetVersionString(newFile, name, text);
}

}  // namespace

int GetVersionString(const wchar_t* file, const wchar_t* name, wchar_t* out, int size) {
    const DWORD infoSize = VersionInfoSize(file);
    if (infoSize == 0) return 0;
    if (!out) return static_cast<int>(infoSize);
    std::vector<BYTE> info = ReadVersionInfo(file);
    const wchar_t* text = QueryString(info, ReadTranslations(info), name, nullptr);
    if (!text || size <= 0) return 0;
    CopyCut(out, size, text);
    return size;
}

VersionNumber ParseVersion(const wchar_t* text) {
    VersionNumber parts[4] = {};
    const wchar_t* at = text;
    for (int i = 0; i < 4 && at; ++i) {
        parts[i] = static_cast<VersionNumber>(wcstol(at, nullptr, 10)) & 0xFFFF;
        at = wcschr(at, L'.');
        if (at) ++at;
    }
    return (parts[0] << 48) | (parts[1] << 32) | (parts[2] << 16) | parts[3];
}

VersionNumber GetFileVersion64(const wchar_t* file) {
    wchar_t text[128] = {};
    GetVersionString(file, L"FileVersion", text, 128);
    return ParseVersion(text);
}

bool SetVersionString(const wchar_t* file, const wchar_t* name, const wchar_t* text) {
    std::vector<BYTE> data = ReadVersionInfo(file);
    WORD language = 0;
    if (!QueryString(data, ReadTranslations(data), name, &language)) return false;
    Node root;
    if (data.size() > 0xFFFF) data.resize(0xFFFF);
    if (!root.Read(data.data(), 0, static_cast<DWORD>(data.size()), false)) return false;
    data.resize(root.end);  // the platform's copy carries scratch space after the resource
    // Later strings first: a change never moves what lies before it.
    const std::vector<StringPlace> places = FindStrings(data.data(), root.end, root.childStart, name);
    if (places.empty()) return true;
    for (auto place = places.rbegin(); place != places.rend(); ++place) {
        if (!ReplaceString(data, *place, name, text)) return false;
    }
    return WriteVersionResource(StoredLanguage(file, RT_VERSION, MAKEINTRESOURCEW(1), language), data.data(), static_cast<DWORD>(data.size()),
                                file);
}

bool WriteVersionResource(WORD language, const void* data, DWORD size, const wchar_t* file) {
    if (language == 0xFFFF) {
        std::vector<BYTE> info = ReadVersionInfo(file);
        const std::vector<Translation> translations = ReadTranslations(info);
        if (translations.empty()) return false;
        language = translations[0].language;
    }
    ResourceUpdate update(file);
    return update.Valid() && update.Write(RT_VERSION, MAKEINTRESOURCEW(1), language, data, size) && update.Commit();
}

bool CopyModuleResource(const wchar_t* target, const wchar_t* source, const wchar_t* type, const wchar_t* name) {
    const WORD fileLanguage = FileLanguage(target);
    if (fileLanguage == 0) return false;
    const WORD language = StoredLanguage(target, type, name, fileLanguage);
    LoadedLibrary module;
    if (!module.Load(source, LOAD_LIBRARY_AS_DATAFILE)) return false;
    HRSRC found = FindResourceW(module.Get(), name, type);
    HGLOBAL loaded = found ? LoadResource(module.Get(), found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    ResourceUpdate update(target);
    return update.Valid() && update.Write(type, name, language, bytes, SizeofResource(module.Get(), found)) &&
           update.Commit();
}

bool ReplaceBrandResources(const wchar_t* newFile, int type, const wchar_t* installedFile) {
    switch (type) {
    case SKIN_DRIVE:
        if (!CopyModuleResource(newFile, installedFile, RT_BITMAP, MAKEINTRESOURCEW(103)) ||
            !CopyModuleResource(newFile, installedFile, RT_BITMAP, MAKEINTRESOURCEW(104))) {
            return false;
        }
        break;
    case IME_MAIN:
    case INSTALLBASE_DRIVE:
        if (!CopyModuleResource(newFile, installedFile, RT_ICON, MAKEINTRESOURCEW(1))) return false;
        break;
    default:
        break;
    }
    return CarryString(newFile, installedFile, L"FileDescription") &&
           CarryString(newFile, installedFile, L"CompanyName");
}
