// Files of srpack.
#include "tools/srpack/file_io.h"

#include <algorithm>

#include "framework/handles.h"

Status ReadWholeFile(const std::wstring& path, std::vector<BYTE>& bytes) {
    fw::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return Failure(L"Cannot open " + path + L": " + SystemMessage(GetLastError()));
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) return Failure(L"Cannot read " + path + L": " + SystemMessage(GetLastError()));
    if (size.QuadPart > MAXDWORD) return Failure(path + L" is larger than 4 GB.");
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        if (!ReadFile(file.Get(), bytes.data() + done, want, &got, nullptr)) {
            return Failure(L"Cannot read " + path + L": " + SystemMessage(GetLastError()));
        }
        if (got == 0) return Failure(L"Cannot read " + path + L": the file became shorter while it was read.");
        done += got;
    }
    return Success();
}

Status WriteWholeFile(const std::wstring& path, const std::vector<BYTE>& bytes) {
    fw::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return Failure(L"Cannot create " + path + L": " + SystemMessage(GetLastError()));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        if (!WriteFile(file.Get(), bytes.data() + done, want, &put, nullptr) || put == 0) {
            DWORD error = GetLastError();
            file.Reset();
            DeleteFileW(path.c_str());
            return Failure(L"Cannot write " + path + L": " + SystemMessage(error));
        }
        done += put;
    }
    return Success();
}

bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageW(flags, nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                  reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (!length) {
        length = FormatMessageW(flags, nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    }
    std::wstring message = length ? std::wstring(text, length) : L"error " + std::to_wstring(error) + L".";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return message;
}

std::wstring TempFolder() {
    wchar_t folder[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (!length || length > MAX_PATH) return L".\\";
    return folder;
}

TemporaryFile::~TemporaryFile() {
    if (!m_path.empty()) DeleteFileW(m_path.c_str());
}

Status TemporaryFile::Create(const wchar_t* prefix) {
    std::wstring folder = TempFolder();
    wchar_t path[MAX_PATH];
    if (!GetTempFileNameW(folder.c_str(), prefix, 0, path)) {
        return Failure(L"Cannot create a temporary file in " + folder + L": " + SystemMessage(GetLastError()));
    }
    m_path = path;
    return Success();
}
