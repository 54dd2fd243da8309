// Blowfish against the published vectors, with the block halves stored little-endian.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "payload/blowfish.h"

namespace {

std::string Hex(const uint8_t* b, size_t n) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) s += {kDigits[b[i] >> 4], kDigits[b[i] & 15]};
    return s;
}

void FromHex(const char* hex, uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
}

// A published vector names each half as a big-endian number; here bytes 0 to 3 hold the
// left half least significant first.
void ToLittleEndianHalves(uint8_t* block) {
    std::swap(block[0], block[3]);
    std::swap(block[1], block[2]);
    std::swap(block[4], block[7]);
    std::swap(block[5], block[6]);
}

TEST(BlowfishTest, PublishedVectorsWithLittleEndianHalves) {
    const struct {
        const char* key;
        const char* plain;
        const char* cipher;
    } kVectors[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    };
    for (const auto& v : kVectors) {
        uint8_t key[8], block[8], expected[8];
        FromHex(v.key, key, 8);
        FromHex(v.plain, block, 8);
        FromHex(v.cipher, expected, 8);
        ToLittleEndianHalves(block);
        ToLittleEndianHalves(expected);
        BLOWFISH context;
        ASSERT_EQ(BlowfishSetKey(context, key, 8), 1);
        EXPECT_EQ(context.keyed, 1);
        BlowfishEncipherBlock(context, block);
        EXPECT_EQ(Hex(block, 8), Hex(expected, 8)) << v.key;
        BlowfishDecipherBlock(context, block);
        uint8_t plain[8];
        FromHex(v.plain, plain, 8);
        ToLittleEndianHalves(plain);
        EXPECT_EQ(Hex(block, 8), Hex(plain, 8));
    }
}

TEST(BlowfishTest, KeyBytesAreTakenCyclically) {
    // An 11-byte key repeats inside the 72 bytes of the P-array; the same key doubled does not.
    const uint8_t key[] = "v3X!qSr8#Lm";
    BLOWFISH once, twice;
    BlowfishSetKey(once, key, 11);
    uint8_t doubled[22];
    memcpy(doubled, key, 11);
    memcpy(doubled + 11, key, 11);
    BlowfishSetKey(twice, doubled, 22);
    EXPECT_EQ(memcmp(once.p, twice.p, sizeof once.p), 0);
    BlowfishSetKey(twice, doubled, 21);
    EXPECT_NE(memcmp(once.p, twice.p, sizeof once.p), 0);
}

TEST(BlowfishTest, EveryBlockByItselfAndAnEmptyKeyLeavesItUnkeyed) {
    const uint8_t key[] = "v3X!qSr8#Lm";
    BLOWFISH context;
    BlowfishSetKey(context, key, 11);
    uint8_t data[24] = {};
    memset(data + 16, 0x5A, 8);
    BlowfishEncipher(context, data, sizeof data);
    EXPECT_EQ(memcmp(data, data + 8, 8), 0) << "no chaining: equal blocks encipher alike";
    EXPECT_NE(memcmp(data, data + 16, 8), 0);
    BlowfishDecipher(context, data, sizeof data);
    EXPECT_EQ(data[0], 0);
    EXPECT_EQ(data[23], 0x5A);

    EXPECT_EQ(BlowfishSetKey(context, key, 0), 0);
    EXPECT_EQ(context.keyed, 0);
}

TEST(BlowfishTest, BulkDecipherGivesTheBytesOfBlockByBlock) {
    // Lengths around the four blocks that the bulk path takes at once, its one to three
    // remaining blocks, and a buffer of the size the extractor reads; the data is varied so
    // that the blocks' lanes cannot be mixed up unseen.
    const uint8_t key[] = "v3X!qSr8#Lm";
    BLOWFISH context;
    BlowfishSetKey(context, key, 11);
    std::mt19937 random(14);
    for (size_t blocks : {1, 2, 3, 4, 5, 7, 8, 9, 4097, 8192}) {
        std::vector<uint8_t> bulk(blocks * 8);
        for (auto& byte : bulk) byte = static_cast<uint8_t>(random());
        std::vector<uint8_t> single = bulk;
        BlowfishDecipher(context, bulk.data(), bulk.size());
        for (size_t at = 0; at < single.size(); at += 8) BlowfishDecipherBlock(context, single.data() + at);
        EXPECT_EQ(bulk, single) << blocks << " blocks";
        BlowfishEncipher(context, bulk.data(), bulk.size());
        EXPECT_NE(bulk, single) << blocks << " blocks";
    }
}

TEST(BlowfishTest, BulkDecipherLeavesAnIncompleteTailAndWorksAtAnyAlignment) {
    const uint8_t key[] = "v3X!qSr8#Lm";
    BLOWFISH context;
    BlowfishSetKey(context, key, 11);
    std::vector<uint8_t> plain(5 * 8 + 1 + 5);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 37 + 11);
    // Five whole blocks at an odd address, then five bytes that are no block.
    std::vector<uint8_t> data = plain;
    BlowfishEncipher(context, data.data() + 1, 40);
    const std::vector<uint8_t> enciphered = data;
    BlowfishDecipher(context, data.data() + 1, 45);
    EXPECT_EQ(data, plain);
    EXPECT_NE(enciphered, plain);
}

}  // namespace
