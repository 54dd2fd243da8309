// srpack build: the content folder packed into an enciphered cabinet behind a copy of the
// installer base, the payload's offset in the base's header.
#pragma once
#include "tools/srpack/status.h"

Status RunBuild(int count, wchar_t** arguments);
