// Step 5 of the install: the shortcut group in the common Programs menu, the desktop link
// and the file that the package asks to open.
#include "install/install_steps.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>

#include "framework/handles.h"
#include "run/file_placement.h"
#include "run/install_layout.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

constexpr int kTextChars = 256;  // descriptions and arguments

int MakeLink(const LinkText& text, const wchar_t* link, const InstallContext& context) {
    const wchar_t* name = PackageOf(context).name;
    // A folder of the link's name, or a link held open: it could not be put back.
    if (!MayWriteFile(*context.journal, link)) return 0;
    wchar_t target[kPathChars], arguments[kTextChars], description[kTextChars];
    JoinPath(target, context.installFolder, text.target);
    FormatCut(description, kTextChars, text.description, name);
    if (text.arguments) FormatCut(arguments, kTextChars, text.arguments, name);
    return CreateShortcut(target, description, link, context.installFolder, text.arguments ? arguments : nullptr);
}

// Links into the group folder; none (and 0) when there is no group. 1 when every link was made.
template <size_t N>
int MakeGroupLinks(const LinkText (&texts)[N], const wchar_t* group, const InstallContext& context) {
    if (!group[0]) return 0;
    int made = 1;
    for (const LinkText& text : texts) {
        wchar_t link[kPathChars];
        JoinPath(link, group, text.link);
        made &= MakeLink(text, link, context);
    }
    return made;
}

template <size_t N>
void DeleteGroupLinks(const LinkText (&texts)[N], const wchar_t* group) {
    for (const LinkText& text : texts) {
        wchar_t link[kPathChars];
        JoinPath(link, group, text.link);
        DeleteFileW(link);
    }
}

// A special folder with a trailing backslash; empty when the system does not name it.
void SpecialFolder(int csidl, wchar_t* out) {
    wchar_t folder[MAX_PATH];
    if (!GetShellFolder(csidl | CSIDL_FLAG_CREATE, folder)) {
        out[0] = 0;
        return;
    }
    CopyCut(out, kPathChars, folder);
    EnsureBackslash(out, kPathChars);
}

}  // namespace

int CreateShortcuts(InstallContext& context) {
    const PACKAGECONFIG& package = PackageOf(context);
    wchar_t desktop[kPathChars], programs[kPathChars], group[kPathChars] = {};
    SpecialFolder(CSIDL_DESKTOPDIRECTORY, desktop);
    SpecialFolder(CSIDL_COMMON_PROGRAMS, programs);
    if (programs[0]) {
        // A group that cannot be created leaves every link in it to fail silently.
        GroupFolderOf(group, programs, package.name);
        // It keeps the list it inherits: a link any user could change would start elevated
        // uninstalls and repairs of its choice.
        CreateFolderRecorded(group, *context.journal);
    }

    int made = MakeGroupLinks(kConfigLinks, group, context);
    // Only for a user who watches: an unattended run opens nothing on the machine it is
    // deployed to. The record's load has made sure that the file lies inside the folder.
    if (package.openFile[0] && context.watched) {
        wchar_t open[kPathChars];
        JoinPath(open, context.installFolder, package.openFile);
        // Neither waited for nor checked: a missing file is the package's affair.
        ShellExecuteW(nullptr, L"", open, L"", nullptr, SW_SHOW);
    }
    made &= MakeGroupLinks(kUninstallerLinks, group, context);

    if (desktop[0]) {
        wchar_t link[kPathChars];
        DesktopLinkOf(link, desktop, package.name);
        made &= MakeLink(kConfigLinks[0], link, context);
        SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW | SHCNF_FLUSH, link, nullptr);
    }
    if (group[0]) SHChangeNotify(SHCNE_ALLEVENTS, SHCNF_PATHW | SHCNF_FLUSH, group, nullptr);
    return made && desktop[0];
}

void RemoveShortcuts(const wchar_t* packageName) {
    wchar_t desktop[kPathChars], programs[kPathChars];
    SpecialFolder(CSIDL_DESKTOPDIRECTORY, desktop);
    SpecialFolder(CSIDL_COMMON_PROGRAMS, programs);
    if (desktop[0]) {
        wchar_t link[kPathChars];
        DesktopLinkOf(link, desktop, packageName);
        DeleteFileW(link);
        SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_PATHW, desktop, nullptr);
    }
    if (!programs[0]) return;
    wchar_t group[kPathChars];
    GroupFolderOf(group, programs, packageName);
    DeleteGroupLinks(kConfigLinks, group);
    DeleteGroupLinks(kUninstallerLinks, group);
    // Only an empty group goes: files of others in it keep it.
    RemoveDirectoryW(group);
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW | SHCNF_FLUSH, group, nullptr);
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW | SHCNF_FLUSH, programs, nullptr);
}

int CreateShortcut(const wchar_t* target, const wchar_t* description, const wchar_t* linkPath,
                   const wchar_t* workingFolder, const wchar_t* arguments) {
    // Initialised once more on every call and never uninitialised: the thread keeps its
    // apartment for the rest of the run.
    if (FAILED(CoInitialize(nullptr))) return 0;
    fw::ComPointer<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive()))) {
        return 0;
    }
    link->SetPath(target);
    link->SetDescription(description);
    link->SetWorkingDirectory(workingFolder);
    link->SetIconLocation(target, 0);
    if (arguments) link->SetArguments(arguments);
    link->SetShowCmd(SW_SHOW);

    fw::ComPointer<IPersistFile> file;
    return SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive())) && SUCCEEDED(file->Save(linkPath, TRUE));
}
