// The installer file: the program followed by its payload, whose offset the generator
// writes into the LoaderFlags field of the program's own optional header.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Where the offset lies: the PE signature's position is the 32-bit value at 0x3C, and
// LoaderFlags follows the signature by 0x70 bytes.
constexpr DWORD kSignaturePositionField = 0x3C;
constexpr DWORD kLoaderFlagsFromSignature = 0x70;
static_assert(offsetof(IMAGE_DOS_HEADER, e_lfanew) == kSignaturePositionField, "DOS header layout");
static_assert(offsetof(IMAGE_NT_HEADERS32, OptionalHeader.LoaderFlags) == kLoaderFlagsFromSignature,
              "PE32 header layout");

// The payload offset of an executable image held in memory; 0 when the image carries no
// payload or its header does not reach the field.
DWORD ReadPayloadOffset(const BYTE* image, DWORD size);

// Stores the offset; false when the header does not reach the field.
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
