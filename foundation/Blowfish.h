#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Blowfish (16 rounds, electronic codebook) under the program's fixed key,
// for the maker's web services. Each 8-byte block is read as two 32-bit
// words in little-endian memory order (bytes 0-3 the left half, byte 0 least
// significant) and stored back the same way, so results equal the
// published algorithm's only with each 4-byte half byte-reversed before and
// after. The services decode exactly this form; do not "fix" it.
// Thread: any; all state is on the caller's stack.

struct SBlowfishContext {
    uint32_t P[18];
    uint32_t S[4][256];
};

// ((S1[a] + S2[b]) ^ S3[c]) + S4[d], a the top byte of x, d the low byte.
[[nodiscard]] uint32_t BlowfishF(const SBlowfishContext& ctx, uint32_t x);
void BlowfishEncryptBlock(const SBlowfishContext& ctx, uint32_t* left, uint32_t* right);
// Standard key schedule over the first keyLength bytes of the fixed key
// (-1 means all 10), cycling through them.
void BlowfishKeySchedule(SBlowfishContext* ctx, int keyLength);
// Enciphers len bytes in place; false, doing nothing, unless len is a
// multiple of 8. The schedule is built afresh for every call.
bool BlowfishEncryptEcb(uint32_t* data, unsigned len, int keyLength);

// The len bytes of data zero-padded to a multiple of 8, enciphered, as two
// lower-case hexadecimal digits per byte. "" for len <= 0 or null data.
[[nodiscard]] std::string BlowfishHex(int len, const char* data);
// BlowfishHex of the text without its terminating NUL.
[[nodiscard]] std::string BlowfishHexString(std::string_view text);
// The directory's board-key form: only the whole 8-byte blocks of text are
// enciphered (BlowfishHex(len & ~7, text)); a short tail is dropped rather
// than padded, which is what the directory decodes.
[[nodiscard]] std::string BlowfishHexWholeBlocks(std::string_view text);
