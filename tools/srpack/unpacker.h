// srpack unpack: an installer's payload, a bare payload or a plain cabinet extracted with the
// installer's own extractor, for inspection.
#pragma once
#include "tools/srpack/status.h"

Status RunUnpack(int count, wchar_t** arguments);
