// The journal file's records: UTF-16 lines, each a kind letter and its fields, every field
// after a tab. The writer, the undo, the reader and the check of a left journal all name the
// kinds and fields from here.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

enum class RecordKind : wchar_t {
    kHeader = L'J',             // the first line: HeaderField
    kFileCreated = L'F',        // PathField: a file the run created
    kFileReplaced = L'R',       // ReplacedField: a file the run replaced, its old bytes kept aside
    kFolderCreated = L'D',      // PathField: a folder the run created
    kKeyCreated = L'K',         // KeyField: a registry key the run created
    kValueSet = L'V',           // ValueField: a value the run set, and what it was before
    kLayoutRegistered = L'L',   // LayoutField: a layout registration of an IME file
    kFontAdded = L'A',          // PathField: a font the run added to the session
    kRestartRename = L'P',      // RenameField: a rename the run scheduled for the next restart
};

// The fields of each kind, in their order on the line; kCount is how many a record has.
namespace HeaderField {
enum : size_t { kVersion, kPackage, kProcess, kInstallFolder, kCount };
}
namespace PathField {
enum : size_t { kPath, kCount };
}
namespace ReplacedField {
enum : size_t { kPath, kKept, kCount };  // kKept: "k<n>", the copy's name in the journal's folder
}
namespace KeyField {
enum : size_t { kRoot, kKey, kCount };  // kRoot: kMachineRoot or kUserRoot
}
namespace ValueField {
enum : size_t { kRoot, kKey, kName, kExisted, kType, kData, kCount };  // kType decimal, kData hex
}
namespace LayoutField {
enum : size_t { kImeFile, kBefore, kCount };  // kBefore: the layouts already using it, "hex,hex"
}
namespace RenameField {
enum : size_t { kSource, kTarget, kCount };  // an empty target: a deletion
}

constexpr wchar_t kJournalVersion[] = L"1";
constexpr wchar_t kMachineRoot[] = L"HKLM";
constexpr wchar_t kUserRoot[] = L"HKCU";
// ValueField::kExisted
constexpr wchar_t kValueExisted[] = L"1";
constexpr wchar_t kValueAbsent[] = L"0";
// The name of the n-th kept copy in the journal's folder.
constexpr wchar_t kKeptFileFormat[] = L"k%u";

struct JournalRecord {
    RecordKind kind;
    std::vector<std::wstring> fields;
};
