// The files of a package's content folder, as the cabinet stores them.
#pragma once
#include <string>
#include <vector>

#include "tools/srpack/status.h"

struct ContentFile {
    std::wstring path;        // on the disk
    std::wstring storedName;  // relative to the content folder, with backslashes
};

// Every file below folder, subfolders included, in an order that does not depend on the
// file system (sorted by stored name without regard to case). Folders without files
// leave no trace: a cabinet holds only files.
Status ListContent(const std::wstring& folder, std::vector<ContentFile>& files);
