// Cabinet::CExtract: unpacks a cabinet into a folder through the system's Cabinet.dll,
// deciphering an enciphered payload block by block while the library reads it.
#pragma once
#include <windows.h>
#include <fdi.h>

#include <vector>

#include "payload/blowfish.h"
#include "payload/read_ahead.h"
#include "support/strings.h"
#include "support/system_library.h"

namespace Cabinet {

// The extractor's own error codes; 1 to 11 are the library's (FDIERROR) numbers.
enum : int {
    kErrorNotACabinet = 2,
    kErrorCreateFile = 8,
    kErrorNoLibrary = 1000,
    kErrorBadArguments = 1002,
    kErrorPlainCabinet = 1007,     // a plain cabinet given to a keyed extractor
    kErrorCipheredCabinet = 1008,  // an enciphered cabinet given to an extractor without key
    kErrorWrongThread = 1011,
    kErrorThreadBusy = 1012,       // another extractor is bound to this thread
    kErrorCabinetChain = 1013,     // a next cabinet that is no plain name, comes again or is one too many
    kErrorOutOfMemory = 1014,      // memory ran out, in the extractor or in a callback
};

// The cabinets of one extraction: the payload is a single cabinet, so a set is followed for a
// few cabinets at most.
constexpr size_t kMaxChainCabinets = 8;

struct ERRORSTATE {
    int code;
    DWORD systemError;
    DWORD reserved;  // stays 0
};

class CExtract {
public:
    CExtract();
    virtual ~CExtract();
    CExtract(const CExtract&) = delete;
    CExtract& operator=(const CExtract&) = delete;

    // Keys the extractor with the first `length` characters of the payload key and
    // allocates its decipher buffer; 0 (kErrorOutOfMemory when the buffer could not be had)
    // leaves it unkeyed. Nothing here throws: every failure is an error code.
    int SetKey(size_t length);
    bool IsKeyed() const { return m_cipher.keyed != 0; }

    // Binds the extractor to this thread and loads the library; nonzero on success.
    BOOL Init();
    // True when every file of the cabinet (and of the cabinets that follow it in a set)
    // was written into the destination folder without error.
    bool Extract(const wchar_t* cabinetPath, const wchar_t* destination);
    // Later extractions write only the file of this stored name (compared as paths are) and
    // skip every other; empty, the default, writes them all.
    void ExtractOnly(const wchar_t* storedName) { m_only = CWideString(storedName ? storedName : L""); }
    // Destroys the library context: its result, 1 without one, 0 on the wrong thread.
    BOOL Cleanup();

    const ERRORSTATE& LastError() const { return m_error; }
    const ERF& LibraryError() const { return m_libraryError; }

    virtual void Abort() { m_abort = 1; }

    // The low-level file layer; a derived extractor may redirect it. The read-ahead's worker
    // calls FileSeek and FileRead too, until the cabinet is closed or the extraction ends: a
    // derived extractor that opens cabinets itself closes them before it goes.
    virtual int FileRead(int fd, void* buffer, unsigned count);
    virtual int FileWrite(int fd, const void* buffer, unsigned count);
    virtual int FileClose(int fd);
    virtual long FileSeek(int fd, long offset, int origin);
    virtual int FileOpen(const wchar_t* path, int flags, int permission);

    // What the library's callbacks do, callable as the library would call them. Read is
    // the keyed read: it deciphers from the handle's absolute position. The first cabinet
    // that a keyed extractor opens is read ahead by a worker thread, which then owns its
    // descriptor: seeks on it are answered from its known position and length.
    INT_PTR Open(const char* utf8Name, int flags);
    UINT Read(INT_PTR fd, void* buffer, UINT count);
    UINT Write(INT_PTR fd, const void* buffer, UINT count);
    int Close(INT_PTR fd);
    long Seek(INT_PTR fd, long offset, int origin);

private:
    struct OutputFile {
        int fd = 0;
        DWORD size = 0;     // as the cabinet states it
        DWORD written = 0;  // as it arrived
    };

    bool OnOwnerThread();
    void SetError(int code, DWORD systemError = 0);
    DWORD* PositionOf(INT_PTR fd);
    void Forget(INT_PTR fd);
    int ReadDeciphered(int fd, DWORD position, BYTE* out, DWORD count);
    bool CheckSignature(BYTE* buffer);
    bool DecodeName(const char* stored, USHORT attributes, CWideString& name);
    bool JoinChain(const CWideString& name);
    INT_PTR OnNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION record);
    INT_PTR OnCopyFile(PFDINOTIFICATION record);
    INT_PTR OnCloseFile(PFDINOTIFICATION record);
    void ResetOutput();
    void StartReadAhead(int fd);
    long SeekReadAhead(long offset, int origin);
    void StopReadAhead();

    // The worker's reads of the cabinet that is read ahead, through the file layer.
    struct ReadAheadSource : WindowSource {
        CExtract* extractor = nullptr;
        int fd = 0;
        int ReadAt(DWORD position, BYTE* out, DWORD count) override;
    };

    OutputFile m_output;
    std::vector<INT_PTR> m_handles;  // position table: handle and absolute position
    std::vector<DWORD> m_positions;
    CWideString m_destination;
    CWideString m_only;
    CWideString m_nextCabinet;
    std::vector<CWideString> m_chain;  // every cabinet of this extraction, the first one included
    bool m_continued = false;          // the library went on into the chain's last cabinet itself
    BLOWFISH m_cipher{};
    ERF m_libraryError;
    ERRORSTATE m_error;
    HFDI m_context = nullptr;
    int m_abort = 0;
    BYTE* m_decipherBuffer = nullptr;
    ReadAhead m_readAhead;  // shares the decipher buffer: suspended while another handle uses it
    ReadAheadSource m_readAheadSource;
    UINT m_nameCodePage = 1252;
    DWORD m_ownerThread;
    bool m_fatal = false;  // an exception ended a callback: the extraction stops and fails
    LoadedLibrary m_library;
    decltype(&FDICreate) m_fdiCreate = nullptr;
    decltype(&FDICopy) m_fdiCopy = nullptr;
    decltype(&FDIDestroy) m_fdiDestroy = nullptr;

    friend struct Callbacks;
};

}  // namespace Cabinet
