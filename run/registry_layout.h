// Where this program keeps its records in the registry, and where it reads the system's.
#pragma once
#include <cstddef>

// The vendor key "Software\vexal\<name>" of both hives; the machine's is the one trusted.
constexpr wchar_t kVendorKey[] = L"Software\\vexal";
constexpr wchar_t kInstallPathValue[] = L"SMEInstallPath";
constexpr wchar_t kUpdateServerValue[] = L"UpdateServer";

// The package's uninstall entry "<kUninstallKey>\<name>" of the machine, and the names that
// the welcome page took, kept there for a repair.
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kRecordedOwnerValue[] = L"RegOwner";
constexpr wchar_t kRecordedCompanyValue[] = L"RegCompany";

// The names the system was registered to.
constexpr wchar_t kWindowsVersionKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr wchar_t kRegisteredOwnerValue[] = L"RegisteredOwner";
constexpr wchar_t kRegisteredOrganizationValue[] = L"RegisteredOrganization";

// "SMEInstallPath" under Software\vexal\<name> of HKEY_LOCAL_MACHINE, into path (kPathChars
// units): the one place that the recorded installation folder is read from (the user's value
// is written, never read). False (path empty) when it is missing.
bool ReadInstallPath(const wchar_t* packageName, wchar_t* path);

// "Software\vexal\<name>" into key (count units).
void VendorKeyOf(const wchar_t* packageName, wchar_t* key, size_t count);

// One of the system's registered names into field (count units), when the value exists and
// takes at most maxBytes; false leaves field as it was.
bool ReadRegisteredName(const wchar_t* value, wchar_t* field, size_t count, unsigned long maxBytes);
