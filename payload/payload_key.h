// The payload key, shared by the installer and the package generator. It is compiled in,
// not derived from anything and not stored in a package.
#pragma once
#include <cstddef>

constexpr char kPayloadKey[] = "v3X!qSr8#Lm";
constexpr size_t kPayloadKeyLength = sizeof kPayloadKey - 1;
static_assert(kPayloadKeyLength == 11, "the payload key has 11 printable characters");
