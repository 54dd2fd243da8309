// The payload offset in the executable's header.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "payload/container.h"

namespace {

// A header with the signature at signatureAt and an optional header of the given magic.
std::vector<BYTE> Image(DWORD signatureAt, DWORD size, WORD magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    std::vector<BYTE> image(size);
    memcpy(image.data() + 0x3C, &signatureAt, 4);
    if (signatureAt < size && size - signatureAt >= 0x1A) memcpy(image.data() + signatureAt + 0x18, &magic, 2);
    return image;
}

TEST(PayloadOffsetTest, LiesInLoaderFlags0x70AfterTheSignatureOfAPE32And0x80OfAPE32Plus) {
    const struct {
        WORD magic;
        DWORD field;
    } kinds[] = {{IMAGE_NT_OPTIONAL_HDR32_MAGIC, 0x70}, {IMAGE_NT_OPTIONAL_HDR64_MAGIC, 0x80}};
    for (const auto& kind : kinds) {
        std::vector<BYTE> image = Image(0x80, 0x200, kind.magic);
        ASSERT_TRUE(WritePayloadOffset(image.data(), 0x200, 0x12345678));
        DWORD stored;
        memcpy(&stored, image.data() + 0x80 + kind.field, 4);
        EXPECT_EQ(stored, 0x12345678u) << std::hex << kind.magic;
        EXPECT_EQ(ReadPayloadOffset(image.data(), 0x200), 0x12345678u);
        EXPECT_EQ(std::count(image.begin(), image.end(), 0x12), 1) << "written once, nowhere else";
    }
}

TEST(PayloadOffsetTest, AHeaderThatDoesNotReachTheFieldOrIsOfNoKnownKindGivesNone) {
    EXPECT_EQ(ReadPayloadOffset(Image(0x80, 0x200).data(), 0x30), 0u);          // no e_lfanew
    EXPECT_EQ(ReadPayloadOffset(Image(0x80, 0xF3).data(), 0xF3), 0u);           // field cut off
    EXPECT_EQ(ReadPayloadOffset(Image(0x80, 0x103, IMAGE_NT_OPTIONAL_HDR64_MAGIC).data(), 0x103), 0u);
    EXPECT_EQ(ReadPayloadOffset(Image(0xFFFFFFF0, 0x200).data(), 0x200), 0u);   // beyond the file
    std::vector<BYTE> image = Image(0x80, 0xF3);
    EXPECT_FALSE(WritePayloadOffset(image.data(), 0xF3, 1));
    image = Image(0x80, 0x200, 0x107);  // a ROM image's magic
    const std::vector<BYTE> before = image;
    EXPECT_FALSE(WritePayloadOffset(image.data(), 0x200, 1));
    EXPECT_EQ(image, before);
}

TEST(PayloadOffsetTest, TheProgramItselfCarriesNone) {
    HMODULE self = GetModuleHandleW(nullptr);
    EXPECT_EQ(ReadPayloadOffset(reinterpret_cast<const BYTE*>(self), 0x1000), 0u);
}

}  // namespace
