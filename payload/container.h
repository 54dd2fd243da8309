// The installer file: the program followed by its payload, whose offset the generator
// writes into the LoaderFlags field of the program's own optional header.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Where the offset lies: the PE signature's position is the 32-bit value at 0x3C; the optional
// header's magic follows the signature by 0x18 bytes and says which layout it has. LoaderFlags
// follows the signature by 0x70 bytes in a 32-bit program (PE32) and by 0x80 in a 64-bit one
// (PE32+, whose image base and stack sizes are 64 bits wide). Each build reads its own kind.
constexpr DWORD kSignaturePositionField = 0x3C;
constexpr DWORD kMagicFromSignature = 0x18;
constexpr DWORD kLoaderFlagsFromSignature32 = 0x70;
constexpr DWORD kLoaderFlagsFromSignature64 = 0x80;
static_assert(offsetof(IMAGE_DOS_HEADER, e_lfanew) == kSignaturePositionField, "DOS header layout");
static_assert(offsetof(IMAGE_NT_HEADERS32, OptionalHeader.Magic) == kMagicFromSignature, "PE32 header layout");
static_assert(offsetof(IMAGE_NT_HEADERS64, OptionalHeader.Magic) == kMagicFromSignature, "PE32+ header layout");
static_assert(offsetof(IMAGE_NT_HEADERS32, OptionalHeader.LoaderFlags) == kLoaderFlagsFromSignature32,
              "PE32 header layout");
static_assert(offsetof(IMAGE_NT_HEADERS64, OptionalHeader.LoaderFlags) == kLoaderFlagsFromSignature64,
              "PE32+ header layout");

// The payload offset of an executable image held in memory; 0 when the image carries no
// payload, its optional header is neither PE32 nor PE32+, or the header does not reach the field.
DWORD ReadPayloadOffset(const BYTE* image, DWORD size);

// Stores the offset at the position of the image's own kind; false when there is no such field.
bool WritePayloadOffset(BYTE* image, DWORD size, DWORD offset);

// The enciphered cabinet: its first bytes stay plain (the cabinet header, the first folder
// entry and the start of the first file entry), every 8-byte block after them is
// enciphered by itself under the payload key.
constexpr size_t kContainerPlainBytes = 56;
constexpr size_t kContainerBlockSize = 8;

// Turns a plain cabinet into the payload: pads it with zeros to a multiple of 8, replaces
// "MSCF" by "CRYP" and enciphers every block from kContainerPlainBytes on. False, with
// the data untouched, when it does not start with "MSCF" or is shorter than a cabinet header.
bool EncipherContainer(std::vector<uint8_t>& cabinet);
