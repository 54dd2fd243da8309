// Blowfish, 16 rounds, with the standard tables and key schedule. A block's two 32-bit
// halves are read and written little-endian: bytes 0 to 3 are the left half, least
// significant first.
#pragma once
#include <cstddef>
#include <cstdint>

extern const uint32_t kBlowfishInitialP[18];
extern const uint32_t kBlowfishInitialS[4][256];

struct BLOWFISH {
    int32_t keyed;  // 0 until a key is set
    uint32_t p[18];
    uint32_t s[4][256];
};

// Loads the standard tables and runs the key schedule over key[0..length); a length of 0
// leaves the context unkeyed and returns 0.
int BlowfishSetKey(BLOWFISH& context, const uint8_t* key, size_t length);

void BlowfishEncipherBlock(const BLOWFISH& context, uint8_t* block);
void BlowfishDecipherBlock(const BLOWFISH& context, uint8_t* block);

// Every 8-byte block of data[0..length), each by itself; length is a multiple of 8.
void BlowfishEncipher(const BLOWFISH& context, uint8_t* data, size_t length);
void BlowfishDecipher(const BLOWFISH& context, uint8_t* data, size_t length);
