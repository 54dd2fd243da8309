// Walking the content folder.
#include "tools/srpack/content_tree.h"

#include <windows.h>

#include <algorithm>

#include "framework/handles.h"
#include "support/path.h"
#include "tools/srpack/file_io.h"

namespace {

Status ListFolder(const std::wstring& folder, const std::wstring& prefix, std::vector<ContentFile>& files) {
    WIN32_FIND_DATAW entry;
    fw::FindHandle search(FindFirstFileW(JoinedPath(folder, L"*").c_str(), &entry));
    if (!search.Valid()) return Failure(L"Cannot list the folder " + folder + L": " + SystemMessage(GetLastError()));
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Status below = ListFolder(JoinedPath(folder, name), JoinedPath(prefix, name), files);
            if (!below.Ok()) return below;
        } else {
            files.push_back({JoinedPath(folder, name), JoinedPath(prefix, name)});
        }
    } while (FindNextFileW(search.Get(), &entry));
    DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) return Failure(L"Cannot list the folder " + folder + L": " + SystemMessage(error));
    return Success();
}

}  // namespace

Status ListContent(const std::wstring& folder, std::vector<ContentFile>& files) {
    files.clear();
    Status listed = ListFolder(folder, L"", files);
    if (!listed.Ok()) return listed;
    std::sort(files.begin(), files.end(), [](const ContentFile& a, const ContentFile& b) {
        return CompareStringOrdinal(a.storedName.c_str(), -1, b.storedName.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    return Success();
}
