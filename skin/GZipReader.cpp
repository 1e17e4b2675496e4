#include "skin/GZipReader.h"

#include "foundation/CodePage.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kEndRecordSignature = 0x06054B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kMaxArchiveComment = 0xFFFF;
constexpr size_t kEncryptionHeaderSize = 12;

// General-purpose flag bits.
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8Name = 0x0800;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

// The chunk sizes of a read; stored data moves in larger pieces because it
// is copied, not inflated.
constexpr size_t kStoredChunk = 8192;
constexpr size_t kDeflateChunk = 4096;

uint16_t Le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
        | (static_cast<uint32_t>(p[3]) << 24);
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= extra)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)))
            || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return true;
}

// Names carry UTF-8 when flag bit 11 says so. Without it, zippers on
// Korean Windows wrote the system code page, CP949, while zippers here
// write UTF-8 without setting the flag; Hangul in CP949 is almost never
// valid UTF-8, so valid UTF-8 is kept and anything else is decoded from
// CP949. Bytes that are neither stay as they are: such an entry is listed
// but no UTF-8 name from skin.xml will match it.
std::string DecodeName(std::string_view raw, uint16_t flags)
{
    // A name is text up to its first NUL.
    raw = raw.substr(0, raw.find('\0'));
    std::string name(raw);
    if (!(flags & kFlagUtf8Name) && HasNonAsciiByte(raw) && !IsValidUtf8(raw)) {
        if (auto decoded = CodePageToUtf8(raw, 949))
            name = std::move(*decoded);
    }
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// An entry name may only name something inside the folder it is extracted
// to: not absolute, no drive letter, no ".." part, not empty.
bool IsSafeRelativeName(std::string_view name)
{
    if (name.empty() || name.front() == '\\' || name.front() == '/')
        return false;
    if (name.size() >= 2 && name[1] == ':')
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = name.size();
        if (name.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

bool IsDirectory(const std::string& path)
{
    struct stat st { };
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates every missing folder of the path up to its last '/': true when
// that folder exists afterwards. New folders are private to this user, as
// extracted skin files are only ever read by this program.
bool CreateParentFolders(const std::string& path)
{
    const size_t last = path.rfind('/');
    if (last == std::string::npos)
        return true;
    const std::string parent = path.substr(0, last);
    for (size_t slash = path.find('/', 1); slash != std::string::npos && slash <= last;
         slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!IsDirectory(part))
            (void)mkdir(part.c_str(), 0700);
    }
    return parent.empty() || IsDirectory(parent);
}

bool WriteAll(int fd, const uint8_t* pData, size_t nBytes)
{
    while (nBytes > 0) {
        const ssize_t n = write(fd, pData, nBytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        pData += n;
        nBytes -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

// Where extracted bytes go: a file, or a memory buffer of fixed capacity.
struct GZipReader::SOutputSink {
    int fd = -1;
    uint8_t* pBuffer = nullptr;
    size_t nCapacity = 0;
    size_t nPosition = 0;

    [[nodiscard]] bool Write(const uint8_t* pData, size_t nBytes)
    {
        if (fd >= 0)
            return WriteAll(fd, pData, nBytes);
        if (pBuffer == nullptr || nBytes > nCapacity - nPosition)
            return false;
        std::memcpy(pBuffer + nPosition, pData, nBytes);
        nPosition += nBytes;
        return true;
    }
};

namespace {

// The traditional zip stream cipher: three keys stepped by every plain byte.
void UpdateKeys(uint32_t* k, uint8_t plain)
{
    const z_crc_t* table = get_crc_table();
    k[0] = table[(k[0] ^ plain) & 0xFF] ^ (k[0] >> 8);
    k[1] = (k[1] + (k[0] & 0xFF)) * 134775813u + 1;
    k[2] = table[(k[2] ^ (k[1] >> 24)) & 0xFF] ^ (k[2] >> 8);
}

void Decrypt(uint32_t* k, uint8_t* pData, size_t nBytes)
{
    for (size_t i = 0; i < nBytes; ++i) {
        // Unsigned 32-bit: the product of two 16-bit values overflows int.
        const uint32_t t = (k[2] & 0xFFFF) | 2;
        pData[i] = static_cast<uint8_t>(pData[i] ^ ((t * (t ^ 1)) >> 8));
        UpdateKeys(k, pData[i]);
    }
}

} // namespace

GZipReader::~GZipReader()
{
    Close();
}

bool GZipReader::Fail(int nError)
{
    m_nLastError = nError;
    return false;
}

void GZipReader::Reset()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_nFileSize = 0;
    m_entries.clear();
    m_pCurrent = nullptr;
    m_password.clear();
    m_nLastError = 0;
    m_bEncryptedEntry = false;
}

void GZipReader::Close()
{
    Reset();
}

bool GZipReader::ReadAt(uint64_t offset, void* pDest, size_t nBytes) const
{
    if (offset > m_nFileSize || nBytes > m_nFileSize - offset)
        return false;
    auto* p = static_cast<uint8_t*>(pDest);
    while (nBytes > 0) {
        const ssize_t n = pread(m_fd, p, nBytes, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        offset += static_cast<uint64_t>(n);
        nBytes -= static_cast<size_t>(n);
    }
    return true;
}

bool GZipReader::Open(const std::string& path)
{
    // A password given for this archive survives reopening it.
    std::string password = std::move(m_password);
    Reset();
    m_password = std::move(password);
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return Fail(kErrorOpen);
    struct stat st { };
    if (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return Fail(kErrorOpen);
    }
    m_nFileSize = static_cast<uint64_t>(st.st_size);

    uint64_t endOffset = 0;
    uint8_t end[kEndRecordSize];
    bool ok = FindEndRecord(&endOffset) && ReadAt(endOffset, end, sizeof end);
    if (ok) {
        const uint16_t disk = Le16(end + 4), cdDisk = Le16(end + 6);
        const uint16_t entriesHere = Le16(end + 8), entries = Le16(end + 10);
        const uint32_t cdSize = Le32(end + 12), cdOffset = Le32(end + 16);
        uint8_t locator[4];
        // Zip64 values (all ones, or a Zip64 locator before the end record)
        // and archives split over several disks are not for skins.
        const bool zip64 = entries == 0xFFFF || cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF
            || (endOffset >= kZip64LocatorSize && ReadAt(endOffset - kZip64LocatorSize, locator, 4)
                && Le32(locator) == kZip64LocatorSignature);
        if (zip64 || disk != 0 || cdDisk != 0 || entriesHere != entries)
            ok = Fail(kErrorEndRecord);
        else if (static_cast<uint64_t>(cdOffset) + cdSize > endOffset)
            ok = Fail(kErrorCentral);
        else
            ok = ReadCentralDirectory(cdOffset, cdSize, entries);
    }
    if (!ok) {
        const int error = m_nLastError;
        Close();
        return Fail(error);
    }
    // Keep file order, whatever order the central directory lists them in.
    std::stable_sort(m_entries.begin(), m_entries.end(), [](const SLocalFileHeader& a, const SLocalFileHeader& b) {
        return a.m_nLocalHeaderOffset < b.m_nLocalHeaderOffset;
    });
    return true;
}

// The end record is the last thing in the file, followed only by its own
// comment of at most 65535 bytes, so it is searched backwards over that
// span. A signature inside the comment does not end where the file ends
// and is passed over. Bytes after the record's comment make the archive
// fail, as no record starts there.
bool GZipReader::FindEndRecord(uint64_t* pEndOffset)
{
    if (m_nFileSize < kEndRecordSize)
        return Fail(kErrorEndRecord);
    const size_t span = static_cast<size_t>(std::min<uint64_t>(m_nFileSize, kEndRecordSize + kMaxArchiveComment));
    std::unique_ptr<uint8_t[]> tail(new (std::nothrow) uint8_t[span]);
    const uint64_t tailStart = m_nFileSize - span;
    if (!tail || !ReadAt(tailStart, tail.get(), span))
        return Fail(kErrorEndRecord);
    bool foundAny = false;
    for (size_t pos = span - kEndRecordSize + 1; pos-- > 0;) {
        if (Le32(tail.get() + pos) != kEndRecordSignature)
            continue;
        const size_t commentEnd = pos + kEndRecordSize + Le16(tail.get() + pos + 20);
        if (commentEnd == span) {
            *pEndOffset = tailStart + pos;
            return true;
        }
        if (commentEnd < span)
            foundAny = true;
    }
    return Fail(foundAny ? kErrorSignature : kErrorEndRecord);
}

// central directory = nEntries x (central header, name, extra field, comment)
bool GZipReader::ReadCentralDirectory(uint64_t cdOffset, uint64_t cdSize, unsigned nEntries)
{
    std::unique_ptr<uint8_t[]> cd(new (std::nothrow) uint8_t[cdSize + 1]);
    if (!cd || !ReadAt(cdOffset, cd.get(), cdSize))
        return Fail(kErrorCentral);
    if (!m_entries.empty() || nEntries > cdSize / kCentralHeaderSize)
        return Fail(kErrorCentral);
    m_entries.reserve(nEntries);
    size_t pos = 0;
    for (unsigned i = 0; i < nEntries; ++i) {
        if (cdSize - pos < kCentralHeaderSize)
            return Fail(kErrorCentral);
        const uint8_t* p = cd.get() + pos;
        if (Le32(p) != kCentralHeaderSignature)
            return Fail(kErrorCentral);
        const size_t nameLength = Le16(p + 28), extraLength = Le16(p + 30), commentLength = Le16(p + 32);
        const size_t recordSize = kCentralHeaderSize + nameLength + extraLength + commentLength;
        if (cdSize - pos < recordSize)
            return Fail(kErrorCentral);
        const std::string_view rawName(reinterpret_cast<const char*>(p + kCentralHeaderSize), nameLength);
        if (!ReadEntry(p, rawName, cdOffset))
            return false;
        pos += recordSize;
    }
    return true;
}

// One central record and the local header it points at. Entry data lies
// between its local header and the central directory.
bool GZipReader::ReadEntry(const uint8_t* p, std::string_view rawName, uint64_t dataLimit)
{
    SLocalFileHeader entry;
    entry.m_nVersionNeeded = Le16(p + 6);
    entry.m_nFlags = Le16(p + 8);
    entry.m_nMethod = Le16(p + 10);
    entry.m_nModTime = Le16(p + 12);
    entry.m_nModDate = Le16(p + 14);
    entry.m_nCrc32 = Le32(p + 16);
    entry.m_nCompressedSize = Le32(p + 20);
    entry.m_nUncompressedSize = Le32(p + 24);
    const uint16_t diskStart = Le16(p + 34);
    entry.m_nExternalAttributes = Le32(p + 38);
    entry.m_nLocalHeaderOffset = Le32(p + 42);
    // Zip64 sizes and offsets, and parts on other disks, are refused.
    if (entry.m_nCompressedSize == 0xFFFFFFFF || entry.m_nUncompressedSize == 0xFFFFFFFF
        || entry.m_nLocalHeaderOffset == 0xFFFFFFFF || diskStart != 0)
        return Fail(kErrorCentral);
    entry.m_name = DecodeName(rawName, entry.m_nFlags);

    uint8_t local[kLocalHeaderSize];
    if (entry.m_nLocalHeaderOffset + kLocalHeaderSize > dataLimit
        || !ReadAt(entry.m_nLocalHeaderOffset, local, sizeof local))
        return Fail(kErrorLocalHeader);
    if (Le32(local) != kLocalHeaderSignature)
        return Fail(kErrorCentral);
    // The local header's sizes may be zeros or Zip64 markers from a zipper
    // that streamed; only its name and extra-field lengths are used.
    uint64_t dataOffset = entry.m_nLocalHeaderOffset + kLocalHeaderSize + Le16(local + 26) + Le16(local + 28);
    if (entry.IsEncrypted()) {
        if (entry.m_nCompressedSize < kEncryptionHeaderSize)
            return Fail(kErrorLocalHeader);
        if (!ReadAt(dataOffset, entry.m_encryptionHeader.data(), kEncryptionHeaderSize))
            return Fail(kErrorLocalHeader);
        dataOffset += kEncryptionHeaderSize;
        entry.m_nCompressedSize -= kEncryptionHeaderSize;
        m_bEncryptedEntry = true;
    }
    if (dataOffset > dataLimit || entry.m_nCompressedSize > dataLimit - dataOffset)
        return Fail(kErrorLocalHeader);
    entry.m_nDataOffset = dataOffset;
    m_entries.push_back(std::move(entry));
    return true;
}

bool GZipReader::FindEntry(std::string_view name)
{
    std::string wanted(name);
    std::replace(wanted.begin(), wanted.end(), '/', '\\');
    m_pCurrent = nullptr;
    for (const SLocalFileHeader& entry : m_entries) {
        if (EqualsNoCaseAscii(entry.m_name, wanted)) {
            m_pCurrent = &entry;
            return true;
        }
    }
    return false;
}

// The password check: the twelfth byte of the decrypted encryption header
// repeats a byte the zipper knew before writing the data. With a data
// descriptor (flag bit 3) the CRC was not known yet, and zippers use the
// high byte of the modification time instead; otherwise it is the CRC's.
bool GZipReader::StartDecryption(const SLocalFileHeader& entry, SKeys* pKeys)
{
    if (!entry.IsEncrypted())
        return true;
    if (m_password.empty())
        return Fail(kErrorNoPassword);
    uint32_t k[3] = { 0x12345678, 0x23456789, 0x34567890 };
    for (char c : m_password)
        UpdateKeys(k, static_cast<uint8_t>(c));
    std::array<uint8_t, kEncryptionHeaderSize> header = entry.m_encryptionHeader;
    Decrypt(k, header.data(), header.size());
    const uint8_t check = (entry.m_nFlags & kFlagDataDescriptor) ? static_cast<uint8_t>(entry.m_nModTime >> 8)
                                                                 : static_cast<uint8_t>(entry.m_nCrc32 >> 24);
    if (header.back() != check)
        return Fail(kErrorWrongPassword);
    std::copy(std::begin(k), std::end(k), pKeys->k);
    return true;
}

bool GZipReader::Extract(SOutputSink& sink, SKeys* pKeys)
{
    const SLocalFileHeader& entry = *m_pCurrent;
    switch (entry.m_nMethod) {
    case kMethodStored:
        return ExtractStored(entry, sink, pKeys);
    case kMethodDeflated:
        return ExtractDeflated(entry, sink, pKeys);
    default:
        return Fail(kErrorMethod);
    }
}

bool GZipReader::ExtractStored(const SLocalFileHeader& entry, SOutputSink& sink, SKeys* pKeys)
{
    uint8_t buffer[kStoredChunk];
    uint64_t offset = entry.m_nDataOffset;
    uint64_t remaining = entry.m_nCompressedSize;
    uint32_t crc = crc32(0, nullptr, 0);
    if (remaining != entry.m_nUncompressedSize)
        return Fail(kErrorCrc);
    while (remaining > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(remaining, sizeof buffer));
        if (!ReadAt(offset, buffer, n))
            return Fail(kErrorDataRead);
        if (entry.IsEncrypted())
            Decrypt(pKeys->k, buffer, n);
        crc = crc32(crc, buffer, static_cast<uInt>(n));
        if (!sink.Write(buffer, n))
            return Fail(kErrorShortWrite);
        offset += n;
        remaining -= n;
    }
    return crc == entry.m_nCrc32 || Fail(kErrorCrc);
}

bool GZipReader::ExtractDeflated(const SLocalFileHeader& entry, SOutputSink& sink, SKeys* pKeys)
{
    z_stream zs {};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return Fail(kErrorInflate);
    uint8_t in[kDeflateChunk];
    uint8_t out[kDeflateChunk];
    uint64_t offset = entry.m_nDataOffset;
    uint64_t remaining = entry.m_nCompressedSize;
    uint64_t produced = 0;
    uint32_t crc = crc32(0, nullptr, 0);
    int error = 0;
    for (;;) {
        if (zs.avail_in == 0 && remaining > 0) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(remaining, sizeof in));
            if (!ReadAt(offset, in, n)) {
                error = kErrorDataRead;
                break;
            }
            if (entry.IsEncrypted())
                Decrypt(pKeys->k, in, n);
            offset += n;
            remaining -= n;
            zs.next_in = in;
            zs.avail_in = static_cast<uInt>(n);
        }
        zs.next_out = out;
        zs.avail_out = sizeof out;
        const int rc = inflate(&zs, Z_SYNC_FLUSH);
        const size_t got = sizeof out - zs.avail_out;
        if (got > 0) {
            // More bytes than the entry holds: its size lies, stop here
            // rather than let a small archive fill memory or the disk.
            if (got > entry.m_nUncompressedSize - produced) {
                error = kErrorCrc;
                break;
            }
            crc = crc32(crc, out, static_cast<uInt>(got));
            if (!sink.Write(out, got)) {
                error = kErrorShortWrite;
                break;
            }
            produced += got;
        }
        if (rc == Z_STREAM_END)
            break;
        // Z_BUF_ERROR here means the input ended inside the stream.
        if (rc != Z_OK) {
            error = kErrorInflate;
            break;
        }
    }
    inflateEnd(&zs);
    if (error != 0)
        return Fail(error);
    if (produced != entry.m_nUncompressedSize || crc != entry.m_nCrc32)
        return Fail(kErrorCrc);
    return true;
}

bool GZipReader::ExtractToMemory(std::unique_ptr<uint8_t[]>* pData, size_t* pSize)
{
    if (m_pCurrent == nullptr || m_fd < 0 || m_pCurrent->m_nUncompressedSize == 0)
        return false;
    SKeys keys;
    if (!StartDecryption(*m_pCurrent, &keys))
        return false;
    const size_t size = m_pCurrent->m_nUncompressedSize;
    if (size > kMaxMemoryEntry)
        return Fail(kErrorShortWrite);
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size + 1]);
    if (!data)
        return Fail(kErrorShortWrite);
    SOutputSink sink;
    sink.pBuffer = data.get();
    sink.nCapacity = size;
    if (!Extract(sink, &keys))
        return false;
    data[size] = 0;
    *pData = std::move(data);
    *pSize = size;
    return true;
}

bool GZipReader::ExtractToFile(const std::string& path)
{
    if (m_pCurrent == nullptr || m_fd < 0 || path.empty())
        return false;
    if (m_pCurrent->IsDirectory()) {
        const std::string folder = path.back() == '/' ? path : path + '/';
        return CreateParentFolders(folder);
    }
    SKeys keys;
    if (!StartDecryption(*m_pCurrent, &keys))
        return false;
    // Never through a link: a planted link would send skin bytes elsewhere.
    constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(path.c_str(), kFlags, 0600);
    if (fd < 0 && CreateParentFolders(path))
        fd = ::open(path.c_str(), kFlags, 0600);
    if (fd < 0)
        return Fail(kErrorCreateFile);
    SOutputSink sink;
    sink.fd = fd;
    bool ok = Extract(sink, &keys);
    if (::close(fd) != 0 && ok)
        ok = Fail(kErrorShortWrite);
    return ok;
}

bool GZipReader::ExtractToFolder(const std::string& folder)
{
    if (m_pCurrent == nullptr)
        return false;
    // An empty folder would turn the entry name into an absolute path.
    if (folder.empty() || !IsSafeRelativeName(m_pCurrent->m_name))
        return Fail(kErrorCreateFile);
    std::string path = folder;
    if (path.back() != '/')
        path += '/';
    std::string name = m_pCurrent->m_name;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (m_pCurrent->IsDirectory() && name.back() != '/')
        name += '/';
    return ExtractToFile(path + name);
}

bool GZipReader::ExtractAllExcept(const std::string& folder)
{
    static constexpr std::string_view kSkipped = ".bmp;.xml;.ini";
    for (const SLocalFileHeader& entry : m_entries) {
        m_pCurrent = &entry;
        const size_t dot = entry.m_name.rfind('.');
        if (dot != std::string::npos) {
            std::string extension = entry.m_name.substr(dot);
            for (char& c : extension) {
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            }
            if (kSkipped.find(extension) != std::string_view::npos)
                continue;
        }
        if (!ExtractToFolder(folder))
            return false;
    }
    return true;
}
