#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// MD5 (RFC 1321) for the maker's web services. Thread: any; all state is
// in the caller's context.

struct SMd5Context {
    uint32_t state[4];
    uint32_t count[2]; // message length in bits, low word first
    uint8_t buffer[64];
};

void Md5Init(SMd5Context* ctx);
void Md5Update(SMd5Context* ctx, const void* data, size_t len);
// Pads, appends the bit count, writes the digest and wipes the context.
void Md5Final(SMd5Context* ctx, uint8_t digest[16]);

// MD5 of the text as 32 lower-case hexadecimal digits and a NUL into out
// (at least 33 bytes). A null text counts as empty; a null out is ignored.
void Md5Hex(const char* text, char* out);
[[nodiscard]] std::string Md5Hex(std::string_view text);
