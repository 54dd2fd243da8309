// Reading and writing the payload offset of the installer file; enciphering its payload.
#include "payload/container.h"

#include <cstring>
#include <memory>

#include "payload/blowfish.h"
#include "payload/payload_key.h"

namespace {

// The position of the LoaderFlags field, or 0 when the image is too short to hold it or its
// optional header is of no kind we know.
DWORD LoaderFlagsPosition(const BYTE* image, DWORD size) {
    if (size < kSignaturePositionField + sizeof(DWORD)) return 0;
    DWORD signature;
    memcpy(&signature, image + kSignaturePositionField, sizeof signature);
    if (signature > size || size - signature < kMagicFromSignature + sizeof(WORD)) return 0;
    WORD magic;
    memcpy(&magic, image + signature + kMagicFromSignature, sizeof magic);
    DWORD field;
    switch (magic) {
    case IMAGE_NT_OPTIONAL_HDR32_MAGIC: field = kLoaderFlagsFromSignature32; break;
    case IMAGE_NT_OPTIONAL_HDR64_MAGIC: field = kLoaderFlagsFromSignature64; break;
    default: return 0;
    }
    if (size - signature < field + sizeof(DWORD)) return 0;
    return signature + field;
}

}  // namespace

DWORD ReadPayloadOffset(const BYTE* image, DWORD size) {
    DWORD at = LoaderFlagsPosition(image, size);
    if (!at) return 0;
    DWORD offset;
    memcpy(&offset, image + at, sizeof offset);
    return offset;
}

bool WritePayloadOffset(BYTE* image, DWORD size, DWORD offset) {
    DWORD at = LoaderFlagsPosition(image, size);
    if (!at) return false;
    memcpy(image + at, &offset, sizeof offset);
    return true;
}

bool EncipherContainer(std::vector<uint8_t>& cabinet) {
    constexpr size_t kCabinetHeaderSize = 36;
    if (cabinet.size() < kCabinetHeaderSize || memcmp(cabinet.data(), "MSCF", 4) != 0) return false;
    cabinet.resize((cabinet.size() + kContainerBlockSize - 1) / kContainerBlockSize * kContainerBlockSize, 0);
    memcpy(cabinet.data(), "CRYP", 4);
    if (cabinet.size() <= kContainerPlainBytes) return true;
    auto context = std::make_unique<BLOWFISH>();
    BlowfishSetKey(*context, reinterpret_cast<const uint8_t*>(kPayloadKey), kPayloadKeyLength);
    BlowfishEncipher(*context, cabinet.data() + kContainerPlainBytes, cabinet.size() - kContainerPlainBytes);
    return true;
}
