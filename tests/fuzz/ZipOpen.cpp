// Opens arbitrary bytes as a zipped skin and extracts every entry into
// memory; whatever is extracted must match its recorded size and CRC-32.
#include "skin/GZipReader.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One memory-backed file for every input, opened by its /proc name so
    // the reader takes the same path as for a skin on disk.
    static const int fd = memfd_create("zip-fuzz", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, 0) != 0)
        std::abort();
    if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    GZipReader zip;
    if (!zip.Open("/proc/self/fd/" + std::to_string(fd)))
        return 0;
    // The seeds' encrypted entries use this password.
    zip.SetPassword("pw");
    std::vector<std::string> names;
    for (const SLocalFileHeader& entry : zip.GetEntries()) {
        if (names.size() < 64)
            names.push_back(entry.m_name);
    }
    for (const std::string& name : names) {
        if (!zip.FindEntry(name))
            std::abort();
        const SLocalFileHeader entry = *zip.GetCurrentEntry();
        // Large entries only cost time; the cap itself is plain arithmetic.
        if (entry.m_nUncompressedSize > (4u << 20))
            continue;
        std::unique_ptr<uint8_t[]> out;
        size_t outSize = 0;
        if (!zip.ExtractToMemory(&out, &outSize))
            continue;
        if (outSize != entry.m_nUncompressedSize || out[outSize] != 0)
            std::abort();
        if (crc32(0, out.get(), static_cast<uInt>(outSize)) != entry.m_nCrc32)
            std::abort();
    }
    return 0;
}
