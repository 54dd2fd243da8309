// Cabinet.dll's compression interface (FCI), reached only through this adapter: one cabinet,
// MSZIP-compressed or stored, written file by file.
#pragma once
#include <memory>
#include <string>

#include "tools/srpack/status.h"

// How the cabinet's one folder holds its data: stored as it is, or deflated in MSZIP blocks.
// The platform's writer under Wine offers no LZX, so these two are all a vendor can choose.
enum class CabinetCompression { kNone, kMszip };

class CabinetWriter {
public:
    CabinetWriter();
    ~CabinetWriter();
    CabinetWriter(const CabinetWriter&) = delete;
    CabinetWriter& operator=(const CabinetWriter&) = delete;

    // Loads Cabinet.dll from the system folder and starts the cabinet file at path, every
    // file of it to be compressed as told.
    Status Create(const std::wstring& path, CabinetCompression compression);
    // Compresses source into the cabinet under storedName (relative, with backslashes).
    // A name beyond ASCII is stored as UTF-8 and flagged as such; the entry keeps the
    // file's attributes and its last-write time.
    Status AddFile(const std::wstring& source, const std::wstring& storedName);
    // Writes the cabinet file; nothing can be added afterwards.
    Status Finish();

private:
    struct Session;
    std::unique_ptr<Session> m_session;
};
