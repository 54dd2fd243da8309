// Reading and writing the payload offset of the installer file; enciphering its payload.
#include "payload/container.h"

#include <cstring>
#include <memory>

#include "payload/blowfish.h"
#include "payload/payload_key.h"

namespace {

// The position of the LoaderFlags field, or 0 when the image is too short to hold it.
DWORD LoaderFlagsPosition(const BYTE* image, DWORD size) {
    if (size < kSignaturePositionField + sizeof(DWORD)) return 0;
    DWORD signature;
    memcpy(&signature, image + kSignaturePositionField, sizeof signature);
    if (signature > size || size - signature < kLoaderFlagsFromSignature + sizeof(DWORD)) return 0;
    return signature + kLoaderFlagsFromSignature;
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
