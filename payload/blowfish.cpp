// Blowfish: key schedule and the block cipher.
#include "payload/blowfish.h"

#include <cstring>

namespace {

// The S-boxes as one flat table of 4 x 256 words, so that every lookup is base + index.
inline uint32_t F(const uint32_t* s, uint32_t x) {
    return ((s[x >> 24] + s[256 + ((x >> 16) & 0xFF)]) ^ s[512 + ((x >> 8) & 0xFF)]) + s[768 + (x & 0xFF)];
}

// Two rounds at a time, fully unrolled: the halves stay in registers and P's indices are constants.
#define SR_BLOWFISH_ROUNDS(a, b)            \
    l ^= p[a];                              \
    r ^= F(s, l);                           \
    r ^= p[b];                              \
    l ^= F(s, r);

void Encipher(const BLOWFISH& c, uint32_t& left, uint32_t& right) {
    const uint32_t* s = &c.s[0][0];
    const uint32_t* p = c.p;
    uint32_t l = left, r = right;
    SR_BLOWFISH_ROUNDS(0, 1) SR_BLOWFISH_ROUNDS(2, 3) SR_BLOWFISH_ROUNDS(4, 5) SR_BLOWFISH_ROUNDS(6, 7)
    SR_BLOWFISH_ROUNDS(8, 9) SR_BLOWFISH_ROUNDS(10, 11) SR_BLOWFISH_ROUNDS(12, 13) SR_BLOWFISH_ROUNDS(14, 15)
    left = r ^ p[17];
    right = l ^ p[16];
}

void Decipher(const BLOWFISH& c, uint32_t& left, uint32_t& right) {
    const uint32_t* s = &c.s[0][0];
    const uint32_t* p = c.p;
    uint32_t l = left, r = right;
    SR_BLOWFISH_ROUNDS(17, 16) SR_BLOWFISH_ROUNDS(15, 14) SR_BLOWFISH_ROUNDS(13, 12) SR_BLOWFISH_ROUNDS(11, 10)
    SR_BLOWFISH_ROUNDS(9, 8) SR_BLOWFISH_ROUNDS(7, 6) SR_BLOWFISH_ROUNDS(5, 4) SR_BLOWFISH_ROUNDS(3, 2)
    left = r ^ p[0];
    right = l ^ p[1];
}

#undef SR_BLOWFISH_ROUNDS

inline uint32_t LoadLE(const uint8_t* b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

inline void StoreLE(uint8_t* b, uint32_t v) {
    b[0] = uint8_t(v);
    b[1] = uint8_t(v >> 8);
    b[2] = uint8_t(v >> 16);
    b[3] = uint8_t(v >> 24);
}

}  // namespace

int BlowfishSetKey(BLOWFISH& c, const uint8_t* key, size_t length) {
    c.keyed = 0;
    if (length == 0) return 0;
    memcpy(c.p, kBlowfishInitialP, sizeof c.p);
    memcpy(c.s, kBlowfishInitialS, sizeof c.s);
    // Key bytes taken cyclically, four at a time, the first as the most significant.
    for (size_t i = 0, k = 0; i < 18; ++i) {
        uint32_t word = 0;
        for (int j = 0; j < 4; ++j, k = (k + 1) % length) word = word << 8 | key[k];
        c.p[i] ^= word;
    }
    uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        Encipher(c, l, r);
        c.p[i] = l;
        c.p[i + 1] = r;
    }
    for (auto& box : c.s) {
        for (int i = 0; i < 256; i += 2) {
            Encipher(c, l, r);
            box[i] = l;
            box[i + 1] = r;
        }
    }
    c.keyed = 1;
    return 1;
}

void BlowfishEncipherBlock(const BLOWFISH& c, uint8_t* block) {
    uint32_t l = LoadLE(block), r = LoadLE(block + 4);
    Encipher(c, l, r);
    StoreLE(block, l);
    StoreLE(block + 4, r);
}

void BlowfishDecipherBlock(const BLOWFISH& c, uint8_t* block) {
    uint32_t l = LoadLE(block), r = LoadLE(block + 4);
    Decipher(c, l, r);
    StoreLE(block, l);
    StoreLE(block + 4, r);
}

void BlowfishEncipher(const BLOWFISH& c, uint8_t* data, size_t length) {
    for (size_t at = 0; at + 8 <= length; at += 8) BlowfishEncipherBlock(c, data + at);
}

void BlowfishDecipher(const BLOWFISH& c, uint8_t* data, size_t length) {
    for (size_t at = 0; at + 8 <= length; at += 8) BlowfishDecipherBlock(c, data + at);
}
