// InstallJournal: what one install, repair or update changes on the machine, in the order it
// changes it, kept on disk so that a failed run can put everything back.
#pragma once
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "install/journal_format.h"
#include "run/change_recorder.h"

// The line a sequence reports when it cannot keep a journal; it then changes nothing.
constexpr wchar_t kNoJournalLine[] = L"  无法创建撤销安装所需的记录目录.";
// The line for each change that can only be undone at the next restart, followed by its path.
constexpr wchar_t kUndoAtRestartLine[] = L"  重新启动计算机后才能撤销：";
// The lines for the journal of an earlier run that was killed: undone, or left alone (followed
// by its folder) because something in it lies where no install of the package writes.
constexpr wchar_t kLeftJournalUndoneLine[] = L"  上次未完成的安装已经撤销.";
constexpr wchar_t kLeftJournalRefusedLine[] = L"  无法确认的安装记录未作处理：";

class InstallJournal : public ChangeRecorder {
public:
    InstallJournal() = default;
    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;

    // Creates "<all users' application data>\SRIMEJournal.<name>.<process id>.<random>\", writable by
    // SYSTEM and Administrators only, and the journal file in it, whose first line (the header)
    // names the package, the process and the installation folder. False when either cannot be made;
    // nothing is left then.
    bool Begin(const wchar_t* packageName, const wchar_t* installFolder);
    // Takes over the records of a journal that a killed run left in folder (with its
    // backslash), whose kept copies are numbered up to kept, so that Undo() can finish them.
    void Adopt(std::wstring folder, std::vector<JournalRecord> entries, unsigned kept);
    bool Active() const { return m_file.Valid(); }
    const std::wstring& Folder() const { return m_folder; }

    // Files and folders (ChangeRecorder). An existing file is copied aside before it is
    // recorded, and the record is on disk before the caller overwrites it.
    Prior BeforeFileWrite(const wchar_t* path) override;
    bool BeforeFolderCreate(const wchar_t* folder) override;
    bool FileCreated(const wchar_t* path) override;
    bool BeforeRestartRename(const wchar_t* source, const wchar_t* target) override;
    void HoldRecords() override { m_holding = true; }
    bool WriteHeldRecords() override;

    // The registry and the session (ChangeRecorder).
    bool BeforeKeyCreate(HKEY root, const wchar_t* key) override;
    bool BeforeValueWrite(HKEY root, const wchar_t* key, const wchar_t* name) override;
    bool BeforeLayoutRegister(const wchar_t* imeFileName) override;
    bool FontAdded(const wchar_t* path) override;

    bool Flush() override;
    // Undoes every change in reverse order and removes the journal's folder. Returns the
    // paths that are put back or deleted only at the next restart.
    std::vector<std::wstring> Undo();
    // Success: the journal's folder goes.
    void Finish();

    const std::vector<JournalRecord>& Entries() const { return m_entries; }

private:
    bool Record(RecordKind kind, std::vector<std::wstring> fields);
    bool Write(const std::wstring& lines);
    void RemoveFolder();

    fw::UniqueHandle m_file;
    std::wstring m_folder;
    std::vector<JournalRecord> m_entries;
    std::set<std::wstring> m_createdKeys;  // "HKLM\key" in upper case: their values need no record
    unsigned m_kept = 0;
    bool m_holding = false;
    std::wstring m_held;  // lines recorded while holding, not yet written
};

// What became of the journals that killed runs of a package left.
struct LeftJournals {
    int undone = 0;
    std::vector<std::wstring> deferred;  // paths put back or deleted only at the next restart
    std::vector<std::wstring> refused;   // journal folders left alone
};

// Finds the journals of packageName whose process no longer runs and undoes each one whose
// header names this package and its process and an installation folder an install may use,
// and every record of which lies where an install of the package writes (that folder, the
// system, Windows and Fonts folders, the package data folder, the Start-menu group, the
// desktop link, the package's keys and layout, copies staged in the temporary folder). Any
// other journal, a malformed or truncated one included, is refused and left as it is.
LeftJournals UndoLeftJournals(const wchar_t* packageName);
