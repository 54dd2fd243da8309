// The payload offset in the executable's header.
#include <gtest/gtest.h>

#include <vector>

#include "payload/container.h"

namespace {

std::vector<BYTE> Image(DWORD signatureAt, DWORD size) {
    std::vector<BYTE> image(size);
    memcpy(image.data() + 0x3C, &signatureAt, 4);
    return image;
}

TEST(PayloadOffsetTest, LiesInLoaderFlags0x70AfterTheSignature) {
    std::vector<BYTE> image = Image(0x80, 0x200);
    ASSERT_TRUE(WritePayloadOffset(image.data(), 0x200, 0x12345678));
    DWORD stored;
    memcpy(&stored, image.data() + 0x80 + 0x70, 4);
    EXPECT_EQ(stored, 0x12345678u);
    EXPECT_EQ(ReadPayloadOffset(image.data(), 0x200), 0x12345678u);
}

TEST(PayloadOffsetTest, AHeaderThatDoesNotReachTheFieldGivesNone) {
    EXPECT_EQ(ReadPayloadOffset(Image(0x80, 0x200).data(), 0x30), 0u);          // no e_lfanew
    EXPECT_EQ(ReadPayloadOffset(Image(0x80, 0xF3).data(), 0xF3), 0u);           // field cut off
    EXPECT_EQ(ReadPayloadOffset(Image(0xFFFFFFF0, 0x200).data(), 0x200), 0u);   // beyond the file
    std::vector<BYTE> image = Image(0x80, 0xF3);
    EXPECT_FALSE(WritePayloadOffset(image.data(), 0xF3, 1));
}

TEST(PayloadOffsetTest, TheProgramItselfCarriesNone) {
    HMODULE self = GetModuleHandleW(nullptr);
    EXPECT_EQ(ReadPayloadOffset(reinterpret_cast<const BYTE*>(self), 0x1000), 0u);
}

}  // namespace
