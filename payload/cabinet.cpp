// The cabinet extractor: the one adapter over Cabinet.dll's FDI.
#include "payload/cabinet.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "payload/container.h"
#include "payload/payload_key.h"
#include "payload/stored_name.h"
#include "support/path.h"
#include "support/system_library.h"

namespace Cabinet {

namespace {

// One slot of the process binds an extractor to its thread: the library's callbacks carry
// no pointer to their caller.
const DWORD g_slot = TlsAlloc();

CExtract* Bound() { return g_slot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<CExtract*>(TlsGetValue(g_slot)); }

}  // namespace

// The callbacks given to the library: each finds the extractor bound to its thread. No
// exception may unwind through the library's frames, so one thrown here (memory running out,
// or whatever a derived extractor throws) ends the extraction as an error instead.
struct Callbacks {
    static void* DIAMONDAPI Alloc(ULONG size) { return malloc(size); }
    static void DIAMONDAPI Free(void* block) { free(block); }

    template <class F, class R>
    static R Guard(R failed, F&& body) {
        CExtract* self = Bound();
        if (!self) return failed;
        try {
            return body(*self);
        } catch (...) {
            self->m_fatal = true;
            self->SetError(kErrorOutOfMemory);
        }
        return failed;
    }

    static INT_PTR DIAMONDAPI Open(char* name, int flags, int) {
        return Guard<>(INT_PTR(-1), [&](CExtract& x) { return x.Open(name, flags); });
    }
    static UINT DIAMONDAPI Read(INT_PTR fd, void* buffer, UINT count) {
        return Guard<>(UINT(-1), [&](CExtract& x) { return x.Read(fd, buffer, count); });
    }
    static UINT DIAMONDAPI Write(INT_PTR fd, void* buffer, UINT count) {
        return Guard<>(UINT(-1), [&](CExtract& x) { return x.Write(fd, buffer, count); });
    }
    static int DIAMONDAPI Close(INT_PTR fd) {
        return Guard<>(-1, [&](CExtract& x) { return x.Close(fd); });
    }
    static long DIAMONDAPI Seek(INT_PTR fd, long offset, int origin) {
        return Guard<>(-1L, [&](CExtract& x) { return x.Seek(fd, offset, origin); });
    }
    static INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION record) {
        return Guard<>(INT_PTR(-1), [&](CExtract& x) { return x.OnNotify(type, record); });
    }
};

// Construction and binding

CExtract::CExtract()
    : m_destination(L""), m_only(L""), m_nextCabinet(L""), m_readAhead(m_cipher), m_ownerThread(GetCurrentThreadId()) {
    memset(&m_libraryError, 0, sizeof m_libraryError);
    memset(&m_error, 0, sizeof m_error);
    m_handles.reserve(4);
    m_positions.reserve(4);
}

CExtract::~CExtract() {
    if (Cleanup() && Bound() == this) TlsSetValue(g_slot, nullptr);
    m_readAhead.Stop();  // before its buffer goes
    free(m_decipherBuffer);
}

int CExtract::SetKey(size_t length) {
    if (length > kPayloadKeyLength) length = kPayloadKeyLength;
    if (!BlowfishSetKey(m_cipher, reinterpret_cast<const uint8_t*>(kPayloadKey), length)) return 0;
    if (!m_decipherBuffer) {
        m_decipherBuffer = static_cast<BYTE*>(malloc(kDecipherBufferSize));
        if (!m_decipherBuffer) {
            memset(&m_cipher, 0, sizeof m_cipher);
            SetError(kErrorOutOfMemory);
            return 0;
        }
    }
    return 1;
}

bool CExtract::OnOwnerThread() {
    if (GetCurrentThreadId() == m_ownerThread) return true;
    SetError(kErrorWrongThread);
    return false;
}

void CExtract::SetError(int code, DWORD systemError) {
    m_error.code = code;
    m_error.systemError = systemError;
}

BOOL CExtract::Init() {
    if (!OnOwnerThread()) return 0;
    if (g_slot == TLS_OUT_OF_INDEXES) {
        SetError(0, ERROR_OUTOFMEMORY);
        return 0;
    }
    CExtract* bound = Bound();
    if (bound && bound != this) {
        SetError(kErrorThreadBusy);
        return 0;
    }
    if (!TlsSetValue(g_slot, this)) {
        SetError(0, ERROR_OUTOFMEMORY);
        return 0;
    }
    memset(&m_error, 0, sizeof m_error);
    memset(&m_libraryError, 0, sizeof m_libraryError);
    if (m_context) return 0;

    if (!m_library.Get()) {
        const bool bound = m_library.LoadSystem(L"Cabinet.dll") && m_library.Bind("FDICreate", m_fdiCreate) &&
                           m_library.Bind("FDICopy", m_fdiCopy) && m_library.Bind("FDIDestroy", m_fdiDestroy);
        if (!bound) {
            m_library.Reset();
            SetError(kErrorNoLibrary);
            return 0;
        }
    }
    m_context = m_fdiCreate(Callbacks::Alloc, Callbacks::Free, Callbacks::Open, Callbacks::Read, Callbacks::Write,
                            Callbacks::Close, Callbacks::Seek, cpu80386, &m_libraryError);
    return m_context != nullptr;
}

BOOL CExtract::Cleanup() {
    if (!OnOwnerThread()) return 0;
    if (!m_context) return 1;
    BOOL result = m_fdiDestroy(m_context);
    m_context = nullptr;
    return result;
}

// Extraction

bool CExtract::Extract(const wchar_t* cabinetPath, const wchar_t* destination) {
    if (!OnOwnerThread() || !m_context) return false;
    m_abort = 0;
    ResetOutput();
    memset(&m_error, 0, sizeof m_error);
    memset(&m_libraryError, 0, sizeof m_libraryError);
    StopReadAhead();
    m_handles.clear();
    m_positions.clear();
    m_fatal = false;

    m_destination = CWideString(destination);
    m_destination.EnsureTrailingBackslash();
    CWideString folder, name;
    CWideString(cabinetPath).SplitPath(folder, name);
    if (m_destination.Length() <= 2 || folder.Length() <= 1 || name.Length() <= 1) {
        SetError(kErrorBadArguments);
        return false;
    }

    m_nextCabinet.Clear();
    m_chain.clear();
    m_chain.push_back(name);
    m_continued = false;
    CAnsiString folderUtf8, nameUtf8;
    folderUtf8.AssignUtf8(folder.Text());
    nameUtf8.AssignUtf8(name.Text());
    BOOL copied = m_fdiCopy(m_context, const_cast<char*>(nameUtf8.Text()), const_cast<char*>(folderUtf8.Text()), 0,
                            Callbacks::Notify, nullptr, nullptr);
    while (copied && !m_fatal && m_nextCabinet.Length()) {
        // The cabinet that the library already went on into to finish a file is read for the
        // files that start in it; any other must join the chain.
        const bool wentInto = m_continued && SamePath(m_nextCabinet.Text(), m_chain.back().Text());
        m_continued = false;
        if (!wentInto && !JoinChain(m_nextCabinet)) {
            SetError(kErrorCabinetChain);
            break;
        }
        nameUtf8.AssignUtf8(m_nextCabinet.Text());
        m_nextCabinet.Clear();
        copied = m_fdiCopy(m_context, const_cast<char*>(nameUtf8.Text()), const_cast<char*>(folderUtf8.Text()), 0,
                           Callbacks::Notify, nullptr, nullptr);
    }
    if (m_output.fd > 0) Close(m_output.fd);
    // A library that left its cabinet open must not leave the worker reading it.
    StopReadAhead();
    return !m_libraryError.fError && !m_error.code && !m_error.systemError;
}

// A header names the next cabinet of its set; one that names itself or an earlier one would be
// read for ever, and one with folder steps would be read from anywhere.
bool CExtract::JoinChain(const CWideString& name) {
    if (!IsPlainFileName(name.Text()) || m_chain.size() >= kMaxChainCabinets) return false;
    for (const CWideString& earlier : m_chain) {
        if (SamePath(earlier.Text(), name.Text())) return false;
    }
    m_chain.push_back(name);
    return true;
}

void CExtract::ResetOutput() {
    m_output.fd = 0;
    m_output.size = 0;
    m_output.written = 0;
}

// The low-level file layer

int CExtract::FileRead(int fd, void* buffer, unsigned count) { return _read(fd, buffer, count); }
int CExtract::FileWrite(int fd, const void* buffer, unsigned count) { return _write(fd, buffer, count); }
int CExtract::FileClose(int fd) { return _close(fd); }
long CExtract::FileSeek(int fd, long offset, int origin) { return _lseek(fd, offset, origin); }

int CExtract::FileOpen(const wchar_t* path, int flags, int permission) {
    // An existing read-only file must not stop its replacement.
    if (flags & _O_CREAT) SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    return _wopen(path, flags, permission);
}

// The position table: the absolute position of every handle the library opened.

DWORD* CExtract::PositionOf(INT_PTR fd) {
    for (size_t i = 0; i < m_handles.size(); ++i) {
        if (m_handles[i] == fd) return &m_positions[i];
    }
    return nullptr;
}

void CExtract::Forget(INT_PTR fd) {
    for (size_t i = 0; i < m_handles.size(); ++i) {
        if (m_handles[i] != fd) continue;
        m_handles[i] = m_handles.back();  // the last entry moves into its place
        m_positions[i] = m_positions.back();
        m_handles.pop_back();
        m_positions.pop_back();
        return;
    }
}

INT_PTR CExtract::Open(const char* utf8Name, int flags) {
    CWideString path;
    path.AssignFromCodePage(utf8Name, CP_UTF8);
    int fd = FileOpen(path.Text(), flags, _S_IREAD);
    if (fd != 0 && fd != -1) {
        if (m_handles.size() == m_handles.capacity()) {
            m_handles.reserve(2 * m_handles.capacity());
            m_positions.reserve(2 * m_positions.capacity());
        }
        m_handles.push_back(fd);
        m_positions.push_back(0);
        if (IsKeyed() && m_decipherBuffer && !m_readAhead.Running()) StartReadAhead(fd);
    }
    return fd;
}

void CExtract::StartReadAhead(int fd) {
    // Learnt before the worker owns the descriptor; a file of 4 GiB or more is read on demand.
    const long length = FileSeek(fd, 0, SEEK_END);
    if (FileSeek(fd, 0, SEEK_SET) != 0 || length < 0) return;
    m_readAheadSource.extractor = this;
    m_readAheadSource.fd = fd;
    if (!m_readAhead.Start(m_readAheadSource, static_cast<DWORD>(length), m_decipherBuffer)) {
        m_readAheadSource.fd = 0;
    }
}

void CExtract::StopReadAhead() {
    m_readAhead.Stop();
    m_readAheadSource.fd = 0;
}

int CExtract::ReadAheadSource::ReadAt(DWORD position, BYTE* out, DWORD count) {
    if (extractor->FileSeek(fd, static_cast<long>(position), SEEK_SET) != static_cast<long>(position)) return -1;
    return extractor->FileRead(fd, out, count);
}

UINT CExtract::Write(INT_PTR fd, const void* buffer, UINT count) {
    int written = FileWrite(static_cast<int>(fd), buffer, count);
    if (written > 0 && fd == m_output.fd) m_output.written += written;
    return static_cast<UINT>(written);
}

int CExtract::Close(INT_PTR fd) {
    if (fd <= 0) return 0;
    if (m_readAhead.Running() && fd == m_readAheadSource.fd) StopReadAhead();
    int result = FileClose(static_cast<int>(fd));
    if (fd == m_output.fd) ResetOutput();
    Forget(fd);
    return result;
}

long CExtract::Seek(INT_PTR fd, long offset, int origin) {
    if (m_readAhead.Running() && fd == m_readAheadSource.fd) return SeekReadAhead(offset, origin);
    long position = FileSeek(static_cast<int>(fd), offset, origin);
    if (fd != 0 && fd != -1) {
        if (DWORD* known = PositionOf(fd)) *known = static_cast<DWORD>(position);
    }
    return position;
}

// The descriptor is the worker's: the new position is worked out as the system would, and only
// recorded. A position before the start fails and leaves the known one, as _lseek does.
long CExtract::SeekReadAhead(long offset, int origin) {
    DWORD* known = PositionOf(m_readAheadSource.fd);
    long long base;
    switch (origin) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = known ? *known : 0; break;
    case SEEK_END: base = m_readAhead.FileSize(); break;
    default: return -1;
    }
    const long long position = base + offset;
    if (position < 0 || position > LONG_MAX) return -1;
    if (known) *known = static_cast<DWORD>(position);
    return static_cast<long>(position);
}

// The keyed read

UINT CExtract::Read(INT_PTR handle, void* buffer, UINT count) {
    const int fd = static_cast<int>(handle);
    DWORD* known = PositionOf(handle);
    const DWORD start = known ? *known : static_cast<DWORD>(FileSeek(fd, 0, SEEK_CUR));
    BYTE* out = static_cast<BYTE*>(buffer);

    int delivered;
    if (!IsKeyed()) {
        delivered = FileRead(fd, out, count);
        if (delivered < 0) return static_cast<UINT>(-1);
    } else if (m_readAhead.Running() && fd == m_readAheadSource.fd) {
        if (!m_readAhead.Read(start, out, count)) return static_cast<UINT>(-1);
        delivered = static_cast<int>(count);
    } else {
        // The decipher buffer is needed here.
        m_readAhead.Suspend();
        // A request larger than the buffer (after alignment) is served in pieces.
        const DWORD kPiece = kDecipherBufferSize - 16;
        for (DWORD done = 0; done < count;) {
            const DWORD piece = count - done < kPiece ? count - done : kPiece;
            if (ReadDeciphered(fd, start + done, out + done, piece) < 0) return static_cast<UINT>(-1);
            done += piece;
        }
        delivered = static_cast<int>(count);
    }
    if (DWORD* again = PositionOf(handle)) *again = start + delivered;
    if (start == 0 && delivered >= 4 && !CheckSignature(out)) return static_cast<UINT>(-1);
    return static_cast<UINT>(delivered);
}

int CExtract::ReadDeciphered(int fd, DWORD position, BYTE* out, DWORD count) {
    if (count == 0) return 0;
    const DWORD start = position & ~7u;
    const DWORD skip = position - start;
    const DWORD length = ((position + count - 1) & ~7u) - start + 8;
    if (FileSeek(fd, static_cast<long>(start), SEEK_SET) != static_cast<long>(start)) return -1;
    // A container whose length is no multiple of 8 ends in a block that cannot be read whole.
    if (FileRead(fd, m_decipherBuffer, length) != static_cast<int>(length)) return -1;
    DWORD plain = start < kContainerPlainBytes ? kContainerPlainBytes - start : 0;
    if (plain > length) plain = length;
    BlowfishDecipher(m_cipher, m_decipherBuffer + plain, length - plain);
    memcpy(out, m_decipherBuffer + skip, count);
    FileSeek(fd, static_cast<long>(position + count), SEEK_SET);
    return static_cast<int>(count);
}

bool CExtract::CheckSignature(BYTE* buffer) {
    if (memcmp(buffer, "MSCF", 4) == 0) {
        if (!IsKeyed()) return true;
        SetError(kErrorPlainCabinet);
        return false;
    }
    if (memcmp(buffer, "CRYP", 4) == 0) {
        if (IsKeyed()) {
            memcpy(buffer, "MSCF", 4);  // the library sees an ordinary cabinet
            return true;
        }
        SetError(kErrorCipheredCabinet);
        return false;
    }
    SetError(kErrorNotACabinet);
    return false;
}

// Notifications

INT_PTR CExtract::OnNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION record) {
    if (m_abort) return -1;
    switch (type) {
    case fdintCABINET_INFO:
        if (!m_nextCabinet.Length() && record->psz1) m_nextCabinet.AssignFromCodePage(record->psz1, CP_UTF8);
        return 0;
    case fdintCOPY_FILE:
        return OnCopyFile(record);
    case fdintCLOSE_FILE_INFO:
        return OnCloseFile(record);
    case fdintNEXT_CABINET:
        if (record->psz1) m_nextCabinet.AssignFromCodePage(record->psz1, CP_UTF8);
        if (record->fdie != FDIERROR_NONE) {
            SetError(record->fdie);
            return -1;
        }
        // The library is about to open it to finish a file that runs on into it.
        if (!JoinChain(m_nextCabinet)) {
            SetError(kErrorCabinetChain);
            return -1;
        }
        m_continued = true;
        return 0;
    default:
        return 0;
    }
}

bool CExtract::DecodeName(const char* stored, USHORT attributes, CWideString& name) {
    name.AssignFromCodePage(stored ? stored : "", attributes & _A_NAME_IS_UTF ? CP_UTF8 : m_nameCodePage);
    name.ReplaceSlashes();
    return IsSafeStoredName(name.Text());
}

INT_PTR CExtract::OnCopyFile(PFDINOTIFICATION record) {
    CWideString name;
    if (!DecodeName(record->psz1, record->attribs, name)) {
        // Written as it stands, such a name would land outside the destination folder.
        SetError(kErrorCreateFile);
        return -1;
    }
    if (m_only.Length() && !SamePath(name.Text(), m_only.Text())) return 0;  // skipped
    const std::wstring path = JoinedPath(m_destination.Text(), name.Text());
    CWideString folder, file;
    CWideString(path.c_str()).SplitPath(folder, file);
    if (DWORD error = CreateFolderTree(folder.Text())) {
        SetError(kErrorCreateFile, error);
        return -1;
    }
    int fd = FileOpen(path.c_str(), _O_BINARY | _O_CREAT | _O_TRUNC | _O_SEQUENTIAL | _O_WRONLY, _S_IREAD | _S_IWRITE);
    if (fd <= 0) {
        SetError(kErrorCreateFile);
        return fd;
    }
    m_output.fd = fd;
    m_output.size = record->cb;
    m_output.written = 0;
    return fd;
}

INT_PTR CExtract::OnCloseFile(PFDINOTIFICATION record) {
    CWideString name;
    DecodeName(record->psz1, record->attribs, name);
    const std::wstring path = JoinedPath(m_destination.Text(), name.Text());
    // The library sends this even for a file whose data it failed to decode; such a file
    // must not stay behind looking complete.
    const bool whole = record->hf != m_output.fd || m_output.written == m_output.size;
    Close(record->hf);
    if (!whole) {
        DeleteFileW(path.c_str());
        if (!m_error.code) SetError(FDIERROR_CORRUPT_CABINET);
        return 1;
    }

    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    FILETIME stored, utc;
    DosDateTimeToFileTime(record->date, record->time, &stored);
    // Cabinet times are local unless the entry says otherwise.
    if (record->attribs & 0x100) utc = stored;
    else LocalFileTimeToFileTime(&stored, &utc);
    SetFileTime(file, &utc, nullptr, &utc);
    CloseHandle(file);
    const DWORD attributes = record->attribs & 0x27;  // read-only, hidden, system, archive
    SetFileAttributesW(path.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    return 1;
}

}  // namespace Cabinet
