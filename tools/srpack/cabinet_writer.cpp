// The FCI adapter: the library's entry points, the callbacks it calls back through, and
// the translation of its errors into sentences.
#include "tools/srpack/cabinet_writer.h"

#include <windows.h>

#include <fci.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/path.h"
#include "tools/srpack/file_io.h"
#include "tools/srpack/text.h"

// The DOS attributes that a cabinet entry keeps have the values of the Win32 ones.
static_assert(FILE_ATTRIBUTE_READONLY == _A_RDONLY && FILE_ATTRIBUTE_HIDDEN == _A_HIDDEN &&
                  FILE_ATTRIBUTE_SYSTEM == _A_SYSTEM && FILE_ATTRIBUTE_ARCHIVE == _A_ARCH,
              "DOS and Win32 file attributes");

namespace {

using FciCreateFn = decltype(&FCICreate);
using FciAddFileFn = decltype(&FCIAddFile);
using FciFlushCabinetFn = decltype(&FCIFlushCabinet);
using FciDestroyFn = decltype(&FCIDestroy);

template <class Fn>
bool Bind(HMODULE library, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return fn != nullptr;
}

std::wstring CrtMessage(int error) { return _wcserror(error); }

constexpr WORD kKeptAttributes = _A_RDONLY | _A_HIDDEN | _A_SYSTEM | _A_ARCH;
constexpr WORD kDosDate1980 = (1 << 5) | 1;  // 1 January 1980, the earliest date a cabinet holds

}  // namespace

struct CabinetWriter::Session {
    HMODULE library = nullptr;
    FciCreateFn create = nullptr;
    FciAddFileFn addFile = nullptr;
    FciFlushCabinetFn flushCabinet = nullptr;
    FciDestroyFn destroy = nullptr;
    HFCI context = nullptr;
    ERF error = {};
    CCAB cabinet = {};
    TCOMP compression = tcompTYPE_MSZIP;
    std::wstring cabinetPath;
    const std::wstring* source = nullptr;  // the file that FCIAddFile is adding
    bool storedNameIsUtf8 = false;
    std::wstring callbackFailure;          // what the last failing callback ran into
    std::vector<std::wstring> tempFiles;   // named for FCI and not yet deleted by it

    ~Session() {
        if (context) destroy(context);
        // FCI deletes its temporary files itself, except after a failure.
        for (const std::wstring& name : tempFiles) DeleteFileW(name.c_str());
        if (library) FreeLibrary(library);
    }

    // What went wrong, in a sentence, after an FCI call returned failure.
    std::wstring Describe() const {
        if (!callbackFailure.empty()) return callbackFailure + L".";
        switch (error.erfOper) {
        case FCIERR_OPEN_SRC: return L"the file cannot be opened.";
        case FCIERR_READ_SRC: return L"the file cannot be read.";
        case FCIERR_ALLOC_FAIL: return L"out of memory.";
        case FCIERR_TEMP_FILE: return L"a temporary file in " + TempFolder() + L" cannot be written.";
        case FCIERR_BAD_COMPR_TYPE: return L"this system's Cabinet.dll does not offer the compression asked for.";
        case FCIERR_CAB_FILE: return L"the cabinet file " + cabinetPath + L" cannot be written.";
        case FCIERR_USER_ABORT: return L"the cabinet was abandoned.";
        case FCIERR_MCI_FAIL: return L"the compression failed.";
        default: return L"Cabinet.dll failed (operation " + std::to_wstring(error.erfOper) + L", error " +
                        std::to_wstring(error.erfType) + L").";
        }
    }

    void Fail(const std::wstring& what, const std::wstring& path, int crtError) {
        callbackFailure = what + L" " + path + L": " + CrtMessage(crtError);
    }

    static Session* Of(void* pv) { return static_cast<Session*>(pv); }

    // The callbacks. FCI hands back the names that it was given, so every name is UTF-8.
    static void* DIAMONDAPI Alloc(ULONG cb) { return malloc(cb); }
    static void DIAMONDAPI Free(void* memory) { free(memory); }

    static INT_PTR DIAMONDAPI Open(char* name, int flags, int mode, int* err, void* pv) {
        std::wstring path;
        if (!FromUtf8(name, path)) {
            *err = EINVAL;
            return -1;
        }
        int file = _wopen(path.c_str(), flags, mode);
        if (file == -1) {
            *err = errno;
            Of(pv)->Fail(L"cannot open", path, errno);
        }
        return file;
    }

    static UINT DIAMONDAPI Read(INT_PTR file, void* memory, UINT cb, int* err, void*) {
        int got = _read(static_cast<int>(file), memory, cb);
        if (got == -1) *err = errno;
        return static_cast<UINT>(got);
    }

    static UINT DIAMONDAPI Write(INT_PTR file, void* memory, UINT cb, int* err, void*) {
        int put = _write(static_cast<int>(file), memory, cb);
        if (put == -1) *err = errno;
        return static_cast<UINT>(put);
    }

    static int DIAMONDAPI Close(INT_PTR file, int* err, void*) {
        int result = _close(static_cast<int>(file));
        if (result == -1) *err = errno;
        return result;
    }

    static long DIAMONDAPI Seek(INT_PTR file, long distance, int origin, int* err, void*) {
        long position = _lseek(static_cast<int>(file), distance, origin);
        if (position == -1) *err = errno;
        return position;
    }

    static int DIAMONDAPI Delete(char* name, int* err, void* pv) {
        Session* self = Of(pv);
        std::wstring path;
        if (!FromUtf8(name, path) || _wremove(path.c_str()) == -1) {
            *err = errno;
            return -1;
        }
        for (auto it = self->tempFiles.begin(); it != self->tempFiles.end(); ++it) {
            if (*it == path) {
                self->tempFiles.erase(it);
                break;
            }
        }
        return 0;
    }

    static BOOL DIAMONDAPI GetTempFile(char* buffer, int capacity, void* pv) {
        Session* self = Of(pv);
        wchar_t name[MAX_PATH];
        if (!GetTempFileNameW(TempFolder().c_str(), L"fci", 0, name)) return FALSE;
        // FCI creates the file itself, exclusively (Wine opens it with _O_EXCL): the name
        // must be free again.
        DeleteFileW(name);
        std::string utf8 = ToUtf8(name);
        if (utf8.size() + 1 > static_cast<size_t>(capacity)) {
            self->callbackFailure = L"the temporary folder's path " + TempFolder() + L" is too long for Cabinet.dll";
            return FALSE;
        }
        memcpy(buffer, utf8.c_str(), utf8.size() + 1);
        self->tempFiles.push_back(name);
        return TRUE;
    }

    static INT_PTR DIAMONDAPI GetOpenInfo(char*, USHORT* date, USHORT* time, USHORT* attributes, int* err,
                                          void* pv) {
        // The file is the one AddFile is adding, by its wide path rather than FCI's copy of it.
        Session* self = Of(pv);
        const std::wstring& path = *self->source;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
            *err = ENOENT;
            self->callbackFailure = L"cannot read the attributes of " + path + L": " + SystemMessage(GetLastError());
            return -1;
        }
        FILETIME local;
        if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, date, time)) {
            *date = kDosDate1980;  // DOS dates begin in 1980
            *time = 0;
        }
        *attributes = static_cast<USHORT>(data.dwFileAttributes & kKeptAttributes);
        if (self->storedNameIsUtf8) *attributes |= _A_NAME_IS_UTF;
        int file = _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_SEQUENTIAL);
        if (file == -1) {
            *err = errno;
            self->Fail(L"cannot open", path, errno);
        }
        return file;
    }

    static int DIAMONDAPI FilePlaced(PCCAB, char*, long, BOOL, void*) { return 0; }

    static BOOL DIAMONDAPI GetNextCabinet(PCCAB, ULONG, void* pv) {
        // The cabinet may grow to CB_MAX_DISK; FCI asks for a next one only near that size.
        Of(pv)->callbackFailure = L"the content does not fit into one cabinet of 2 GB";
        return FALSE;
    }

    static long DIAMONDAPI Progress(UINT kind, ULONG, ULONG size, void*) {
        return kind == statusCabinet ? static_cast<long>(size) : 0;
    }
};

CabinetWriter::CabinetWriter() : m_session(new Session) {}

CabinetWriter::~CabinetWriter() = default;

Status CabinetWriter::Create(const std::wstring& path, CabinetCompression compression) {
    Session& s = *m_session;
    s.compression = compression == CabinetCompression::kNone ? tcompTYPE_NONE : tcompTYPE_MSZIP;
    wchar_t system[MAX_PATH];
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (!length || length >= MAX_PATH) return Failure(L"Cannot find the system folder.");
    std::wstring library = JoinedPath(system, L"cabinet.dll");
    s.library = LoadLibraryW(library.c_str());
    if (!s.library) return Failure(L"Cannot load " + library + L": " + SystemMessage(GetLastError()));
    if (!Bind(s.library, "FCICreate", s.create) || !Bind(s.library, "FCIAddFile", s.addFile) ||
        !Bind(s.library, "FCIFlushCabinet", s.flushCabinet) || !Bind(s.library, "FCIDestroy", s.destroy)) {
        return Failure(library + L" lacks the compression functions (FCICreate, FCIAddFile, FCIFlushCabinet, "
                                 L"FCIDestroy).");
    }

    s.cabinetPath = path;
    size_t slash = path.find_last_of(L"\\/");
    std::string folder = ToUtf8(slash == std::wstring::npos ? L"" : path.substr(0, slash + 1));
    std::string name = ToUtf8(slash == std::wstring::npos ? path : path.substr(slash + 1));
    if (folder.size() >= sizeof s.cabinet.szCabPath || name.size() >= sizeof s.cabinet.szCab) {
        return Failure(L"The path " + path + L" is too long for Cabinet.dll (256 bytes in UTF-8).");
    }
    s.cabinet.cb = CB_MAX_DISK;
    s.cabinet.cbFolderThresh = CB_MAX_DISK;  // one folder: the whole payload in one stream
    s.cabinet.iCab = 1;
    strcpy(s.cabinet.szCabPath, folder.c_str());
    strcpy(s.cabinet.szCab, name.c_str());

    s.context = s.create(&s.error, Session::FilePlaced, Session::Alloc, Session::Free, Session::Open, Session::Read,
                         Session::Write, Session::Close, Session::Seek, Session::Delete, Session::GetTempFile,
                         &s.cabinet, &s);
    if (!s.context) return Failure(L"Cannot start the cabinet " + path + L": " + s.Describe());
    return Success();
}

Status CabinetWriter::AddFile(const std::wstring& source, const std::wstring& storedName) {
    Session& s = *m_session;
    std::string name = ToUtf8(storedName);
    if (name.size() >= CB_MAX_FILENAME) {
        return Failure(L"The name " + storedName + L" is too long for a cabinet: at most " +
                       std::to_wstring(CB_MAX_FILENAME - 1) + L" bytes in UTF-8.");
    }
    std::string sourceName = ToUtf8(source);
    s.source = &source;
    s.storedNameIsUtf8 = !IsAscii(storedName);
    s.callbackFailure.clear();
    BOOL added = s.addFile(s.context, &sourceName[0], &name[0], FALSE, Session::GetNextCabinet, Session::Progress,
                           Session::GetOpenInfo, s.compression);
    s.source = nullptr;
    if (!added) return Failure(L"Cannot add " + source + L" to the cabinet: " + s.Describe());
    return Success();
}

Status CabinetWriter::Finish() {
    Session& s = *m_session;
    s.callbackFailure.clear();
    if (!s.flushCabinet(s.context, FALSE, Session::GetNextCabinet, Session::Progress)) {
        return Failure(L"Cannot write the cabinet " + s.cabinetPath + L": " + s.Describe());
    }
    s.destroy(s.context);
    s.context = nullptr;
    return Success();
}
