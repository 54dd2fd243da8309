// ChangeRecorder: told of every change a run is about to make, before it makes it, so that a
// failed run can be undone (the install journal is one); a recorder that records nothing for
// runs with nothing to undo; and the one decision whether a file may be written now.
#pragma once
#include <windows.h>

class ChangeRecorder {
public:
    // What was at a path that is about to be written.
    enum class Prior {
        kAbsent,   // nothing: the file is new
        kKept,     // a file, now kept aside: it may be overwritten
        kNotKept,  // a file that could not be kept aside (held without sharing): it may only be
                   // replaced at the next restart, which an undo can take back
        kRefused,  // a folder, or the record could not be written: nothing may be written there
    };

    // Files and folders.
    virtual Prior BeforeFileWrite(const wchar_t* path) = 0;
    // Before a folder is created; false when the record could not be written.
    virtual bool BeforeFolderCreate(const wchar_t* folder) = 0;
    // After a file of the run's own was created under a name that the system chose.
    virtual bool FileCreated(const wchar_t* path) = 0;
    // Before a rename at the next restart is scheduled (target empty: a deletion).
    virtual bool BeforeRestartRename(const wchar_t* source, const wchar_t* target) = 0;
    // The records of changes that one call makes together (a folder moved whole with every
    // file in it) may be held from HoldRecords() on and put to the system by one write in
    // WriteHeldRecords(), before that call; false when they could not be.
    virtual void HoldRecords() {}
    virtual bool WriteHeldRecords() { return true; }

    // The registry and the session: every missing key along `key` (below its first part), a
    // value's old state, the layouts that already use an IME file before ImmInstallIMEW
    // registers it, a font added to the session.
    virtual bool BeforeKeyCreate(HKEY root, const wchar_t* key) = 0;
    virtual bool BeforeValueWrite(HKEY root, const wchar_t* key, const wchar_t* name) = 0;
    virtual bool BeforeLayoutRegister(const wchar_t* imeFileName) = 0;
    virtual bool FontAdded(const wchar_t* path) = 0;

    // Puts the records written so far on the disk; the end of every step.
    virtual bool Flush() = 0;

protected:
    ~ChangeRecorder() = default;
};

// The recorder of a run that keeps no record: every change may go ahead.
ChangeRecorder& NoRecorder();

// Records a file about to be written; false when it must not be written now: a folder of its
// name, a file that could not be kept aside, a record not made.
bool MayWriteFile(ChangeRecorder& recorder, const wchar_t* path);
