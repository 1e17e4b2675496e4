#include "foundation/Blowfish.h"

#include "foundation/BlowfishTables.h"

#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr char kKey[] = "QUORBLATEN";
constexpr int kKeyBytes = 10;

} // namespace

uint32_t BlowfishF(const SBlowfishContext& ctx, uint32_t x)
{
    uint32_t a = x >> 24, b = (x >> 16) & 0xFF, c = (x >> 8) & 0xFF, d = x & 0xFF;
    return ((ctx.S[0][a] + ctx.S[1][b]) ^ ctx.S[2][c]) + ctx.S[3][d];
}

void BlowfishEncryptBlock(const SBlowfishContext& ctx, uint32_t* left, uint32_t* right)
{
    uint32_t l = *left, r = *right;
    for (int i = 0; i < 16; ++i) {
        l ^= ctx.P[i];
        r ^= BlowfishF(ctx, l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= ctx.P[16];
    l ^= ctx.P[17];
    *left = l;
    *right = r;
}

void BlowfishKeySchedule(SBlowfishContext* ctx, int keyLength)
{
    if (keyLength < 0 || keyLength > kKeyBytes)
        keyLength = kKeyBytes;
    std::memcpy(ctx->P, kBlowfishInitP, sizeof ctx->P);
    std::memcpy(ctx->S, kBlowfishInitS, sizeof ctx->S);
    if (keyLength > 0) {
        int j = 0;
        for (uint32_t& p : ctx->P) {
            uint32_t word = 0;
            for (int k = 0; k < 4; ++k) {
                word = (word << 8) | static_cast<uint8_t>(kKey[j]);
                j = (j + 1) % keyLength;
            }
            p ^= word;
        }
    }
    uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        BlowfishEncryptBlock(*ctx, &l, &r);
        ctx->P[i] = l;
        ctx->P[i + 1] = r;
    }
    for (auto& box : ctx->S) {
        for (int i = 0; i < 256; i += 2) {
            BlowfishEncryptBlock(*ctx, &l, &r);
            box[i] = l;
            box[i + 1] = r;
        }
    }
}

bool BlowfishEncryptEcb(uint32_t* data, unsigned len, int keyLength)
{
    if (len % 8 != 0 || (len != 0 && data == nullptr))
        return false;
    SBlowfishContext ctx;
    BlowfishKeySchedule(&ctx, keyLength);
    for (unsigned i = 0; i < len / 4; i += 2)
        BlowfishEncryptBlock(ctx, &data[i], &data[i + 1]);
    return true;
}

std::string BlowfishHex(int len, const char* data)
{
    if (len <= 0 || data == nullptr)
        return {};
    size_t padded = (static_cast<size_t>(len) + 7) & ~size_t { 7 };
    // Words are assembled and taken apart byte by byte, little-endian, so
    // the result does not depend on the host's byte order.
    std::vector<uint32_t> words(padded / 4, 0);
    for (size_t i = 0; i < static_cast<size_t>(len); ++i)
        words[i / 4] |= static_cast<uint32_t>(static_cast<uint8_t>(data[i])) << (8 * (i % 4));
    BlowfishEncryptEcb(words.data(), static_cast<unsigned>(padded), -1);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(padded * 2, '\0');
    for (size_t i = 0; i < padded; ++i) {
        uint8_t byte = static_cast<uint8_t>(words[i / 4] >> (8 * (i % 4)));
        out[2 * i] = kHex[byte >> 4];
        out[2 * i + 1] = kHex[byte & 15];
    }
    return out;
}

std::string BlowfishHexString(std::string_view text)
{
    return BlowfishHex(static_cast<int>(text.size()), text.data());
}

std::string BlowfishHexWholeBlocks(std::string_view text)
{
    return BlowfishHex(static_cast<int>(text.size() & ~size_t { 7 }), text.data());
}
