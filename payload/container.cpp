// Reading and writing the payload offset of the installer file.
#include "payload/container.h"

#include <cstring>

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
