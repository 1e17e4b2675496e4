// libFuzzer target: the built-in server under interleavings of accepts,
// logins, blocks, closes and refused accepts on an in-memory network (see
// tests/engine/server/ServerInterleaving.h for what is checked).

#include "tests/engine/server/ServerInterleaving.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    const std::string failure = testutil::RunServerInterleaving(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "server interleaving failed: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
