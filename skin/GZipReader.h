#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One entry of a zipped skin. The values come from the entry's central
// directory record, which holds the real sizes and CRC even when the local
// header carries zeros (zippers that stream, or that write a data
// descriptor); the local header only tells where the data starts.
struct SLocalFileHeader {
    uint16_t m_nVersionNeeded = 0;
    uint16_t m_nFlags = 0;
    uint16_t m_nMethod = 0;
    uint16_t m_nModTime = 0;
    uint16_t m_nModDate = 0;
    uint32_t m_nCrc32 = 0;
    // Bytes of data after the 12-byte encryption header of an encrypted entry.
    uint32_t m_nCompressedSize = 0;
    uint32_t m_nUncompressedSize = 0;
    // UTF-8, with every '/' turned into '\' so names compare in one form.
    std::string m_name;
    uint64_t m_nDataOffset = 0;
    std::array<uint8_t, 12> m_encryptionHeader {};
    uint64_t m_nLocalHeaderOffset = 0;
    uint32_t m_nExternalAttributes = 0;

    [[nodiscard]] bool IsEncrypted() const { return (m_nFlags & 0x0001) != 0; }
    [[nodiscard]] bool IsDirectory() const { return (m_nExternalAttributes & 0x10) != 0; }
};

// Thread: the thread of the skin window that owns it; a reader is used by
// one thread at a time.
//
// Reads a skin packed as a zip file: lists its entries on Open, looks them
// up by name without case and with either slash, and extracts them into
// memory or files, inflating deflated entries and checking each against its
// size and CRC-32. Skins are downloaded and shared, so nothing in the file
// is trusted: every offset and size is checked against the file, names that
// would leave the target folder are refused, and an entry to memory is
// capped. Entries under the traditional zip encryption need a password,
// which the skin engine never gives, so for skins they are unreadable.
class GZipReader {
public:
    // Last-error codes.
    static constexpr int kErrorOpen = 1; // the zip file cannot be opened
    static constexpr int kErrorSignature = 2; // bytes where a record should start are no record
    static constexpr int kErrorLocalHeader = 3; // a local header or an entry's data lies outside the file
    static constexpr int kErrorCentral = 8; // a central record is unreadable or points at no entry
    static constexpr int kErrorEndRecord = 18; // no usable end record (truncated, split, Zip64)
    static constexpr int kErrorDataRead = 21; // compressed data cannot be read
    static constexpr int kErrorInflate = 22; // the inflater reports an error
    static constexpr int kErrorCrc = 24; // the data does not match its CRC-32 or size
    static constexpr int kErrorMethod = 25; // neither stored (0) nor deflated (8)
    static constexpr int kErrorNoPassword = 32; // encrypted entry and no password
    static constexpr int kErrorWrongPassword = 33; // the check byte does not match
    static constexpr int kErrorShortWrite = 48; // the output took fewer bytes, or memory would not hold them
    static constexpr int kErrorCreateFile = 49; // the output file cannot be created, or its name is refused

    // Skin parts read into memory are XML, scripts and images; a bound far
    // above them keeps a lying size from taking the machine's memory.
    static constexpr uint32_t kMaxMemoryEntry = 64u << 20;

    GZipReader() = default;
    ~GZipReader();
    GZipReader(const GZipReader&) = delete;
    GZipReader& operator=(const GZipReader&) = delete;

    // Empties the list, closes the file, forgets the password and the error.
    void Reset();

    // Opens the file and lists its entries in file order. The file stays
    // open until Close. On failure the reader is closed and the error set.
    [[nodiscard]] bool Open(const std::string& path);
    void Close();
    [[nodiscard]] bool IsOpen() const { return m_fd >= 0; }

    // Makes the first entry whose name equals name, ignoring ASCII case and
    // taking '/' and '\' alike, the current entry; a miss clears it.
    [[nodiscard]] bool FindEntry(std::string_view name);

    // Extracts the current entry into a new buffer of its uncompressed size,
    // followed by one zero byte so text parsers can take it as it is. Fails
    // without a current entry, for an empty entry, and past kMaxMemoryEntry.
    [[nodiscard]] bool ExtractToMemory(std::unique_ptr<uint8_t[]>* pData, size_t* pSize);

    // Extracts the current entry into the file at path (mode 0600, never
    // through a link), creating missing folders; a directory entry creates
    // the folder. A file that fails its CRC stays on disk, the call fails.
    [[nodiscard]] bool ExtractToFile(const std::string& path);

    // ExtractToFile with folder + '/' + the entry name; names that are
    // absolute, start with a drive letter or hold a ".." part are refused.
    [[nodiscard]] bool ExtractToFolder(const std::string& folder);

    // Extracts every entry, in list order, except those whose extension
    // (from the last '.', lower-cased) occurs anywhere in ".bmp;.xml;.ini":
    // the skin reads those itself. The first failure ends the walk.
    [[nodiscard]] bool ExtractAllExcept(const std::string& folder);

    // The skin engine never sets a password; it exists for encrypted
    // archives made by other callers, and is emptied by Reset and Close.
    void SetPassword(std::string_view password) { m_password.assign(password); }

    [[nodiscard]] int GetLastError() const { return m_nLastError; }
    [[nodiscard]] bool HasEncryptedEntry() const { return m_bEncryptedEntry; }
    [[nodiscard]] const std::vector<SLocalFileHeader>& GetEntries() const { return m_entries; }
    [[nodiscard]] const SLocalFileHeader* GetCurrentEntry() const { return m_pCurrent; }

private:
    struct SOutputSink;
    // The three keys of the traditional zip encryption.
    struct SKeys {
        uint32_t k[3] {};
    };

    [[nodiscard]] bool ReadAt(uint64_t offset, void* pDest, size_t nBytes) const;
    [[nodiscard]] bool FindEndRecord(uint64_t* pEndOffset);
    [[nodiscard]] bool ReadCentralDirectory(uint64_t cdOffset, uint64_t cdSize, unsigned nEntries);
    [[nodiscard]] bool ReadEntry(const uint8_t* pCentral, std::string_view rawName, uint64_t dataLimit);
    [[nodiscard]] bool StartDecryption(const SLocalFileHeader& entry, SKeys* pKeys);
    [[nodiscard]] bool Extract(SOutputSink& sink, SKeys* pKeys);
    [[nodiscard]] bool ExtractStored(const SLocalFileHeader& entry, SOutputSink& sink, SKeys* pKeys);
    [[nodiscard]] bool ExtractDeflated(const SLocalFileHeader& entry, SOutputSink& sink, SKeys* pKeys);
    bool Fail(int nError);

    std::vector<SLocalFileHeader> m_entries;
    int m_fd = -1;
    uint64_t m_nFileSize = 0;
    int m_nLastError = 0;
    const SLocalFileHeader* m_pCurrent = nullptr;
    std::string m_password;
    bool m_bEncryptedEntry = false;
};
