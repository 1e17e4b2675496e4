#include "foundation/Base64.h"
#include "foundation/Blowfish.h"
#include "foundation/Md5.h"

#include "support/RequireTool.h"
#include "support/TempHome.h"

#include <cstdio>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

TEST(Base64, Rfc4648VectorsAndCredentialBytes)
{
    const std::pair<std::string_view, const char*> kVectors[] = {
        { "", "" },
        { "f", "Zg==" },
        { "fo", "Zm8=" },
        { "foo", "Zm9v" },
        { "foob", "Zm9vYg==" },
        { "fooba", "Zm9vYmE=" },
        { "foobar", "Zm9vYmFy" },
        // High bytes and a NUL pass through as bytes: UTF-8 passwords.
        { std::string_view("\xea\xb0\x80\0\xff", 5), "6rCAAP8=" },
        { "source:hack&me #1+", "c291cmNlOmhhY2smbWUgIzEr" },
    };
    for (const auto& [bytes, text] : kVectors)
        EXPECT_EQ(Base64Encode(bytes), text) << bytes;
}

TEST(Md5, Rfc1321TestSuite)
{
    const std::pair<const char*, const char*> kSuite[] = {
        { "", "d41d8cd98f00b204e9800998ecf8427e" },
        { "a", "0cc175b9c0f1b6a831c399e269772661" },
        { "abc", "900150983cd24fb0d6963f7d28e17f72" },
        { "message digest", "f96b697d7cb7938d525a2f31aaf161d0" },
        { "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b" },
        { "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f" },
        { "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
            "57edf4a22be3c955ac49da2e2107b67a" },
    };
    for (const auto& [text, digest] : kSuite) {
        char out[33];
        std::memset(out, 'x', sizeof out);
        Md5Hex(text, out);
        EXPECT_STREQ(out, digest) << text;
        EXPECT_EQ(Md5Hex(std::string_view(text)), digest);
    }
    char out[33];
    Md5Hex(nullptr, out);
    EXPECT_STREQ(out, "d41d8cd98f00b204e9800998ecf8427e");
    Md5Hex("abc", nullptr);

    // Fed in pieces across block boundaries, the digest is the same.
    std::string text(1000, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>(i * 7);
    SMd5Context ctx;
    Md5Init(&ctx);
    for (size_t at = 0, step = 1; at < text.size(); at += step, step = step * 3 % 97 + 1)
        Md5Update(&ctx, text.data() + at, std::min(step, text.size() - at));
    uint8_t digest[16];
    Md5Final(&ctx, digest);
    std::string hex;
    for (uint8_t b : digest) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    EXPECT_EQ(hex, Md5Hex(text));
    EXPECT_EQ(ctx.state[0] | ctx.state[1] | ctx.count[0], 0u); // wiped
}

// Computed with python3-cryptography's Blowfish under "QUORBLATEN", each
// 4-byte half byte-reversed before and after enciphering.
TEST(Blowfish, MatchesTheServicesByteOrder)
{
    EXPECT_EQ(BlowfishHexString("abcde"), "3d7ffb535c487b5c");
    EXPECT_EQ(BlowfishHexString("abcdefgh"), "fd8393a9a83f01f2");
    EXPECT_EQ(BlowfishHexString("abcdefghi"), "fd8393a9a83f01f22ac0a2a6ff72d1d2");
    EXPECT_EQ(BlowfishHexString(""), "");
    EXPECT_EQ(BlowfishHex(0, "abc"), "");
    EXPECT_EQ(BlowfishHex(3, nullptr), "");
    // The board key keeps whole blocks only: the short tail is dropped.
    EXPECT_EQ(BlowfishHexWholeBlocks("abcdefghi"), "fd8393a9a83f01f2");
    EXPECT_EQ(BlowfishHexWholeBlocks("abcde"), "");

    uint32_t words[3] = { 1, 2, 3 };
    EXPECT_FALSE(BlowfishEncryptEcb(words, 12, -1));
    EXPECT_EQ(words[0], 1u);
    EXPECT_TRUE(BlowfishEncryptEcb(words, 8, -1));
    EXPECT_NE(words[0], 1u);
}

TEST(Blowfish, AgreesWithAnIndependentImplementation)
{
    TAVDJ_REQUIRE_TOOL(
        CommandSucceeds("python3 -c 'import cryptography.hazmat.primitives.ciphers'"), "python3-cryptography");
    TempHome home;
    std::string script = home.Path("bf.py");
    std::ofstream(script) << R"(import sys, warnings
warnings.simplefilter("ignore")
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
def swap(b):
    return b"".join(b[i:i+4][::-1] for i in range(0, len(b), 4))
for arg in sys.argv[1:]:
    data = bytes.fromhex(arg)
    data += b"\0" * (-len(data) % 8)
    e = Cipher(algorithms.Blowfish(b"QUORBLATEN"), modes.ECB()).encryptor()
    print(swap(e.update(swap(data)) + e.finalize()).hex())
)";
    std::mt19937 rng(1234);
    std::vector<std::string> inputs;
    std::string command = "python3 " + script;
    for (int n = 1; n <= 40; ++n) {
        std::string data;
        for (int i = 0; i < n; ++i)
            data += static_cast<char>(rng() % 255 + 1);
        std::string hex;
        for (unsigned char c : data) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", c);
            hex += two;
        }
        inputs.push_back(data);
        command += " " + hex;
    }
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[512];
    for (const std::string& data : inputs) {
        ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
        std::string expected(line);
        expected.erase(expected.find_last_not_of('\n') + 1);
        EXPECT_EQ(BlowfishHexString(data), expected) << data.size() << " bytes";
    }
    EXPECT_EQ(pclose(pipe), 0);
}
