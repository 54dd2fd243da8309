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

// Four blocks deciphered side by side. One block's rounds each wait on the S-box lookups of the
// round before; four independent chains keep the processor's load units busy in those waits.
struct FourBlocks {
    uint32_t l0, r0, l1, r1, l2, r2, l3, r3;
};

// x ^= key, then y ^= F(x), on every block: half a round.
[[gnu::always_inline]] inline void HalfRound(const uint32_t* s, uint32_t key, uint32_t& x0, uint32_t& y0,
                                             uint32_t& x1, uint32_t& y1, uint32_t& x2, uint32_t& y2, uint32_t& x3,
                                             uint32_t& y3) {
    x0 ^= key;
    x1 ^= key;
    x2 ^= key;
    x3 ^= key;
    y0 ^= F(s, x0);
    y1 ^= F(s, x1);
    y2 ^= F(s, x2);
    y3 ^= F(s, x3);
}

void Decipher4(const BLOWFISH& c, FourBlocks& b) {
    const uint32_t* s = &c.s[0][0];
    const uint32_t* p = c.p;
#pragma GCC unroll 8
    for (int i = 17; i > 1; i -= 2) {
        HalfRound(s, p[i], b.l0, b.r0, b.l1, b.r1, b.l2, b.r2, b.l3, b.r3);
        HalfRound(s, p[i - 1], b.r0, b.l0, b.r1, b.l1, b.r2, b.l2, b.r3, b.l3);
    }
    // The last swap is undone in the output: left takes r, right takes l, as in Decipher.
    const uint32_t r0 = b.r0, r1 = b.r1, r2 = b.r2, r3 = b.r3;
    b.r0 = b.l0 ^ p[1];
    b.r1 = b.l1 ^ p[1];
    b.r2 = b.l2 ^ p[1];
    b.r3 = b.l3 ^ p[1];
    b.l0 = r0 ^ p[0];
    b.l1 = r1 ^ p[0];
    b.l2 = r2 ^ p[0];
    b.l3 = r3 ^ p[0];
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
    size_t at = 0;
    for (; at + 32 <= length; at += 32) {
        uint8_t* d = data + at;
        FourBlocks b = {LoadLE(d),      LoadLE(d + 4),  LoadLE(d + 8),  LoadLE(d + 12),
                        LoadLE(d + 16), LoadLE(d + 20), LoadLE(d + 24), LoadLE(d + 28)};
        Decipher4(c, b);
        StoreLE(d, b.l0);
        StoreLE(d + 4, b.r0);
        StoreLE(d + 8, b.l1);
        StoreLE(d + 12, b.r1);
        StoreLE(d + 16, b.l2);
        StoreLE(d + 20, b.r2);
        StoreLE(d + 24, b.l3);
        StoreLE(d + 28, b.r3);
    }
    // The last one to three blocks one at a time.
    for (; at + 8 <= length; at += 8) BlowfishDecipherBlock(c, data + at);
}
