// Access lists: full access for "Users" where every user must write, and the folders that
// only administrators may write in.
#include "run/access.h"

#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <cstdio>

#include "framework/handles.h"
#include "run/run_state.h"
#include "support/bounded_text.h"
#include "support/path.h"
#include "support/system_library.h"

namespace {

const wchar_t kUsers[] = L"Users";
// Full control for SYSTEM and Administrators, inherited by what the folder holds, and nothing
// from the parent.
const wchar_t kAdministratorsOnly[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
const wchar_t kOwnedAdministratorsOnly[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Read and execute (0x1200a9) for Users.
const wchar_t kInstallationFolderAccess[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// The program normally has no console, so each failure line also goes to the debugger.
int ReportFailure(const char* format) {
    const int error = static_cast<int>(GetLastError());
    char line[96];
    snprintf(line, sizeof line, format, error);
    fputs(line, stdout);
    fflush(stdout);
    OutputDebugStringA(line);
    return 0;
}

template <class Function>
Function FindAdvapi(const char* name) {
    Function function;
    FindExport(GetModuleHandleW(L"advapi32.dll"), name, function);
    return function;
}

// The identifier of an entry that keeps it right behind its mask; object entries, whose
// identifier follows optional GUIDs, are copied as they stand.
PSID EntrySid(ACE_HEADER* entry) {
    switch (entry->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case SYSTEM_AUDIT_ACE_TYPE:
    case SYSTEM_ALARM_ACE_TYPE:
        return &reinterpret_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart;
    default:
        return nullptr;
    }
}

// Copies the old entries from *index on into the new list. With skipSid set it stops at
// the first inherited entry and leaves out the explicit entries of that identifier.
int CopyEntries(ACL* from, DWORD count, PSID skipSid, ACL* to, DWORD* index) {
    for (; *index < count; ++*index) {
        void* raw;
        if (!GetAce(from, *index, &raw)) return ReportFailure("GetAce() failed. Error %d\n");
        ACE_HEADER* entry = static_cast<ACE_HEADER*>(raw);
        if (skipSid) {
            if (entry->AceFlags & INHERITED_ACE) break;
            PSID sid = EntrySid(entry);
            if (sid && EqualSid(sid, skipSid)) continue;
        }
        if (!AddAce(to, from->AclRevision, MAXDWORD, entry, entry->AceSize)) {
            return ReportFailure("AddAce() failed. Error %d\n");
        }
    }
    return 1;
}

int AddUsersEntry(ACL* acl, PSID users) {
    using AddEx = BOOL(WINAPI*)(PACL, DWORD, DWORD, DWORD, PSID);
    if (AddEx addEx = FindAdvapi<AddEx>("AddAccessAllowedAceEx")) {
        if (!addEx(acl, ACL_REVISION2, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, GENERIC_ALL, users)) {
            return ReportFailure("AddAccessAllowedAceEx() failed. Error %d\n");
        }
    } else if (!AddAccessAllowedAce(acl, ACL_REVISION2, GENERIC_ALL, users)) {
        return ReportFailure("AddAccessAllowedAce() failed. Error %d\n");
    }
    return 1;
}

// A new descriptor starts with no control bits; without these the stored list would lose
// its auto-inherited or protected state.
int CopyInheritanceControl(PSECURITY_DESCRIPTOR from, PSECURITY_DESCRIPTOR to) {
    using SetControl = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL);
    SetControl setControl = FindAdvapi<SetControl>("SetSecurityDescriptorControl");
    if (!setControl) return 1;

    SECURITY_DESCRIPTOR_CONTROL control;
    DWORD revision;
    if (!GetSecurityDescriptorControl(from, &control, &revision)) {
        return ReportFailure("GetSecurityDescriptorControl() failed.Error %d\n");
    }
    SECURITY_DESCRIPTOR_CONTROL bits = 0;
    if (control & SE_DACL_AUTO_INHERITED) bits = SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
    else if (control & SE_DACL_PROTECTED) bits = SE_DACL_PROTECTED;
    if (bits && !setControl(to, bits, bits)) return ReportFailure("SetSecurityDescriptorControl() failed.Error %d\n");
    return 1;
}

// Builds the new list from the old descriptor's one and stores it on the path.
int StoreWithUsersEntry(const wchar_t* path, PSECURITY_DESCRIPTOR oldDescriptor, PSID users) {
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) {
        return ReportFailure("InitializeSecurityDescriptor() failed.Error %d\n");
    }
    BOOL present = FALSE, defaulted = FALSE;
    ACL* oldAcl = nullptr;
    if (!GetSecurityDescriptorDacl(oldDescriptor, &present, &oldAcl, &defaulted)) {
        return ReportFailure("GetSecurityDescriptorDacl() failed. Error %d\n");
    }
    if (!present) oldAcl = nullptr;
    ACL_SIZE_INFORMATION used = {0, sizeof(ACL), 0};  // an absent list: an empty header
    if (oldAcl && !GetAclInformation(oldAcl, &used, sizeof used, AclSizeInformation)) {
        return ReportFailure("GetAclInformation() failed. Error %d\n");
    }

    const DWORD size = used.AclBytesInUse + GetLengthSid(users) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
    fw::HeapBlock acl(size);
    if (!acl.Get()) return ReportFailure("HeapAlloc() failed. Error %d\n");
    if (!BuildUsersAcl(acl.As<ACL>(), size, oldAcl, users)) return 0;

    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, acl.As<ACL>(), FALSE)) {
        return ReportFailure("SetSecurityDescriptorDacl() failed. Error %d\n");
    }
    if (!CopyInheritanceControl(oldDescriptor, &descriptor)) return 0;
    if (!SetFileSecurityW(path, DACL_SECURITY_INFORMATION, &descriptor)) {
        return ReportFailure("SetFileSecurity() failed. Error %d\n");
    }
    return 1;
}

// Size queries answer FALSE with ERROR_INSUFFICIENT_BUFFER; anything else is a failure.
bool SizeQueryFailed(BOOL result) { return !result && GetLastError() != ERROR_INSUFFICIENT_BUFFER; }

}  // namespace

int BuildUsersAcl(ACL* acl, DWORD size, ACL* old, PSID users) {
    if (!InitializeAcl(acl, size, ACL_REVISION2)) return ReportFailure("InitializeAcl() failed. Error %d\n");
    // Explicit entries, ours among them, come before the inherited ones: the order that the
    // system's access check and its inheritance both expect.
    const DWORD count = old ? old->AceCount : 0;
    DWORD index = 0;
    return CopyEntries(old, count, users, acl, &index) && AddUsersEntry(acl, users) &&
           CopyEntries(old, count, nullptr, acl, &index);
}

int GrantUsersAccess(const wchar_t* path) {
    DWORD sidSize = 0, domainChars = 0;
    SID_NAME_USE use;
    if (SizeQueryFailed(LookupAccountNameW(nullptr, kUsers, nullptr, &sidSize, nullptr, &domainChars, &use))) {
        return ReportFailure("LookupAccountName() failed. Error %d\n");
    }
    fw::HeapBlock sid(sidSize);
    fw::HeapBlock domain(domainChars * sizeof(wchar_t));
    if (!sid.Get() || !domain.Get()) return ReportFailure("HeapAlloc() failed. Error %d\n");
    if (!LookupAccountNameW(nullptr, kUsers, sid.Get(), &sidSize, domain.As<wchar_t>(), &domainChars, &use)) {
        return ReportFailure("LookupAccountName() failed. Error %d\n");
    }

    DWORD descriptorSize = 0;
    if (SizeQueryFailed(GetFileSecurityW(path, DACL_SECURITY_INFORMATION, nullptr, 0, &descriptorSize))) {
        return ReportFailure("GetFileSecurity() failed. Error %d\n");
    }
    fw::HeapBlock descriptor(descriptorSize);
    if (!descriptor.Get()) return ReportFailure("HeapAlloc() failed. Error %d\n");
    if (!GetFileSecurityW(path, DACL_SECURITY_INFORMATION, descriptor.Get(), descriptorSize, &descriptorSize)) {
        return ReportFailure("GetFileSecurity() failed. Error %d\n");
    }
    return StoreWithUsersEntry(path, descriptor.Get(), sid.Get());
}

namespace {

// Stores the owner and the protected list of an SDDL text on folder and on what it holds.
bool StoreOwnerAndList(const wchar_t* folder, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    // SetNamedSecurityInfoW also passes the list on to what the folder already holds.
    const DWORD stored = SetNamedSecurityInfoW(const_cast<wchar_t*>(folder), SE_FILE_OBJECT,
                                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                                   PROTECTED_DACL_SECURITY_INFORMATION,
                                               owner, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    return stored == ERROR_SUCCESS;
}

}  // namespace

bool ProtectInstallationFolder(const wchar_t* folder) { return StoreOwnerAndList(folder, kInstallationFolderAccess); }

bool ProtectAdministratorsOnlyFolder(const wchar_t* folder) {
    return StoreOwnerAndList(folder, kOwnedAdministratorsOnly);
}

bool CreateAdministratorsOnlyFolder(const wchar_t* folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const BOOL created = CreateDirectoryW(folder, &attributes);
    LocalFree(descriptor);
    return created != FALSE;
}

bool CreateUnguessableFolder(const wchar_t* parent, const wchar_t* prefix, wchar_t* out) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned long random[2] = {};
        if (!RtlGenRandom(random, sizeof random)) return false;
        wchar_t name[kPathChars];
        FormatCut(name, kPathChars, L"%s%08lx%08lx\\", prefix, random[0], random[1]);
        if (JoinPath(out, kPathChars, parent, name) >= kPathChars - 1) return false;
        if (CreateAdministratorsOnlyFolder(out)) return true;
    }
    out[0] = 0;
    return false;
}

// The running administrator counts as one: Wine gives every file the one user's SID as owner.
bool WritableByAdministratorsOnly(const wchar_t* folder) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    BYTE system[SECURITY_MAX_SID_SIZE], administrators[SECURITY_MAX_SID_SIZE], user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    DWORD size = sizeof system;
    bool fine = CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size);
    size = sizeof administrators;
    fine = fine && CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size);
    HANDLE token = nullptr;
    fine = fine && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    fw::UniqueHandle tokenOwner(token);
    fine = fine && GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    const PSID self = fine ? reinterpret_cast<TOKEN_USER*>(user)->User.Sid : nullptr;
    const auto trusted = [&](PSID sid) { return EqualSid(sid, system) || EqualSid(sid, administrators) || EqualSid(sid, self); };
    // No access list at all lets everyone do anything.
    fine = fine && owner && trusted(owner) && dacl;
    const DWORD kWriting = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_EA | FILE_DELETE_CHILD |
                           FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; fine && i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        fine = GetAce(dacl, i, reinterpret_cast<void**>(&ace));
        if (!fine || ace->AceType == ACCESS_DENIED_ACE_TYPE || (ace->AceFlags & INHERIT_ONLY_ACE)) continue;
        // Any other kind of grant is one this check cannot read: not believed.
        auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
        fine = ace->AceType == ACCESS_ALLOWED_ACE_TYPE &&
               (!(allowed->Mask & kWriting) || trusted(&allowed->SidStart));
    }
    LocalFree(descriptor);
    return fine;
}
