// Running out of memory anywhere inside a load ends it with false; nothing
// is thrown out of the parser. This test binary's operator new can be told
// to fail after a number of allocations.
#include "foundation/GXmp.h"

#include "support/SampleSkinXml.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <string>

// AddressSanitizer and ThreadSanitizer own the allocator in their builds;
// the test runs in the plain build.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVDJ_SANITIZER_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVDJ_SANITIZER_ALLOCATOR 1
#endif

#ifndef TAVDJ_SANITIZER_ALLOCATOR

// GCC sees free() meet memory from operator new; here both are ours.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

// Allocations left before operator new throws; negative: never.
std::atomic<long> g_nAllocationsLeft { -1 };

} // namespace

void* operator new(std::size_t n)
{
    long left = g_nAllocationsLeft.load();
    if (left == 0)
        throw std::bad_alloc();
    if (left > 0)
        g_nAllocationsLeft.fetch_sub(1);
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

TEST(GXmp, EveryAllocationFailureEndsTheLoadWithFalse)
{
    const std::string skin = MakeSampleSkinXml(1500);
    bool loaded = false;
    long failAt = 0;
    for (; !loaded && failAt < 100000; ++failAt) {
        GXmp xmp;
        xmp.SetCodePage(949); // the code page conversions allocate too
        g_nAllocationsLeft = failAt;
        loaded = xmp.LoadBuffer(skin.data(), static_cast<int>(skin.size()));
        g_nAllocationsLeft = -1;
    }
    EXPECT_TRUE(loaded);
    EXPECT_GT(failAt, 50);
}

#endif // TAVDJ_SANITIZER_ALLOCATOR
