// The update server's address: the machine's "UpdateServer" value, or the built-in one.
#pragma once
#include <cstddef>

// The update server: "UpdateServer" under the machine's Software\vexal\<name> when it holds
// a scheme, a host and an optional port; else the built-in address.
void GetUpdateServer(const wchar_t* packageName, wchar_t* server, size_t count);
