// Blowfish: key schedule and the block cipher.
#include "payload/blowfish.h"

#include <cstring>

namespace {

inline uint32_t F(const BLOWFISH& c, uint32_t x) {
    return ((c.s[0][x >> 24] + c.s[1][(x >> 16) & 0xFF]) ^ c.s[2][(x >> 8) & 0xFF]) + c.s[3][x & 0xFF];
}

void Encipher(const BLOWFISH& c, uint32_t& left, uint32_t& right) {
    uint32_t l = left, r = right;
    for (int i = 0; i < 16; i += 2) {
        l ^= c.p[i];
        r ^= F(c, l);
        r ^= c.p[i + 1];
        l ^= F(c, r);
    }
    left = r ^ c.p[17];
    right = l ^ c.p[16];
}

void Decipher(const BLOWFISH& c, uint32_t& left, uint32_t& right) {
    uint32_t l = left, r = right;
    for (int i = 17; i > 1; i -= 2) {
        l ^= c.p[i];
        r ^= F(c, l);
        r ^= c.p[i - 1];
        l ^= F(c, r);
    }
    left = r ^ c.p[0];
    right = l ^ c.p[1];
}

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
