// Finding the processes that hold the module key, and ending them.
#include "guard/process_finder.h"

#include <psapi.h>

#include <cwchar>

#include "framework/handles.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

constexpr DWORD kFirstIdBufferBytes = 1024;  // 256 process IDs; doubled while it is full
constexpr DWORD kModuleSlots = 1024;         // modules examined per process

// The base name of the process's executable, its first module; empty when it cannot be read.
// It is read in the ANSI code page and widened, so characters outside it show as '?'.
void ReadProcessName(DWORD processId, wchar_t (&name)[100]) {
    name[0] = 0;
    char ansi[MAX_PATH] = {};
    fw::UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process.Valid()) return;
    HMODULE executable = nullptr;
    DWORD needed = 0;
    if (!EnumProcessModules(process.Get(), &executable, sizeof executable, &needed)) return;
    if (!GetModuleBaseNameA(process.Get(), executable, ansi, sizeof ansi)) return;
    // Widened in full first: a name longer than the entry is cut, not dropped.
    wchar_t wide[MAX_PATH] = {};
    if (MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, MAX_PATH)) CopyCut(name, wide);
}


}  // namespace

int ProcessFinder::CheckLoaded(const wchar_t* key) {
    CopyCut(m_key, key);
    m_entries.clear();
    EnumHolders();
    return static_cast<int>(m_entries.size());
}

bool ProcessFinder::EnumHolders() {
    for (DWORD bytes = kFirstIdBufferBytes;; bytes *= 2) {
        fw::HeapBlock block(bytes);
        DWORD* ids = block.As<DWORD>();
        if (!ids) return false;
        DWORD returned = 0;
        if (!EnumProcesses(ids, bytes, &returned)) return false;
        // A full buffer may have left processes out.
        if (returned == bytes) continue;

        // The installer itself may hold the module (a dialog of the IME's own, a test); it is
        // never listed, so that ending the holders cannot end the installer.
        const DWORD own = GetCurrentProcessId();
        for (DWORD i = 0; i < returned / sizeof(DWORD); ++i) {
            if (ids[i] == own) continue;
            if (!HoldsModule(m_key, ids[i])) continue;
            ProcessEntry entry = {};
            ReadProcessName(ids[i], entry.name);
            entry.processId = ids[i];
            m_entries.push_back(entry);
        }
        return true;
    }
}

bool ProcessFinder::HoldsModule(const wchar_t* key, DWORD processId) {
    fw::UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process.Valid()) return false;
    HMODULE modules[kModuleSlots];
    DWORD needed = 0;
    if (!EnumProcessModules(process.Get(), modules, sizeof modules, &needed)) return false;
    // needed counts every module, also those that did not fit.
    const DWORD count = needed / sizeof(HMODULE) < kModuleSlots ? needed / sizeof(HMODULE) : kModuleSlots;
    for (DWORD i = 0; i < count; ++i) {
        // GetModuleFileNameExW walks the process's module list from its head on every call,
        // so asking it for every module reads the list over and over: with a hundred
        // processes of a hundred modules that is a noticeable wait before every run. The
        // file mapped at the module's base is named in one call, by the name it was opened
        // with, which ends like the module's path; only a module whose file ends with the
        // key (or whose file cannot be named) is asked for its path.
        wchar_t mapped[MAX_PATH];
        const DWORD mappedLength = GetMappedFileNameW(process.Get(), modules[i], mapped, MAX_PATH);
        if (mappedLength > 0 && mappedLength < MAX_PATH && !EndsWithPath(mapped, mappedLength, key)) continue;
        wchar_t path[MAX_PATH];
        // A path cut at the buffer's end may lack its terminator on older systems.
        if (GetModuleFileNameExW(process.Get(), modules[i], path, MAX_PATH) &&
            EndsWithPath(path, wcsnlen(path, MAX_PATH), key)) {
            return true;
        }
    }
    return false;
}

int ProcessFinder::EndAllHolders() {
    // Ended with the code the process reports while running (STILL_ACTIVE); there is no wait:
    // one that is still going down shows up again in the new list.
    for (const ProcessEntry& entry : m_entries) {
        fw::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, entry.processId));
        if (!process.Valid()) continue;
        DWORD exitCode = 0;
        GetExitCodeProcess(process.Get(), &exitCode);
        TerminateProcess(process.Get(), exitCode);
    }
    m_entries.clear();
    EnumHolders();
    return static_cast<int>(m_entries.size());
}

std::wstring HolderLine(const ProcessEntry& entry, bool english) {
    // The name is whoever started the process's: a line break in it would forge a line of
    // the log.
    wchar_t name[100] = {};
    CopyCut(name, entry.name);
    for (wchar_t& c : name) {
        if (c && c < 0x20) c = L'?';
    }
    wchar_t line[160];
    FormatCut(line, sizeof line / sizeof line[0], english ? L"ID: %u    NAME: %s" : L"进程ID: %u    进程名称: %s",
              static_cast<unsigned>(entry.processId), name);
    return line;
}
