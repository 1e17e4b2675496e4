#pragma once

#include "skin/GZipReader.h"

#include <map>
#include <memory>
#include <string>

// Thread: each instance on one thread (the window's, or a picture
// prefetch's own).
// Where a skin's files come from: a folder, a zip file, or (never set by
// the application) the program's resources, which this build does not
// have. Files are read whole into memory, bounded, whatever the source.
//
// Folder skins are often written on Windows: skin.xml names files with '\'
// or '/' and in any letter case. A name is resolved part by part against
// the folder's listing (read once per folder and kept), an exact match
// first, else the first match without regard to ASCII case.
class GXSkinSource {
public:
    // A file larger than this is not read into memory (the zip reader's cap).
    static constexpr std::uint64_t kMaxFileBytes = GZipReader::kMaxMemoryEntry;

    GXSkinSource() = default;
    GXSkinSource(const GXSkinSource&) = delete;
    GXSkinSource& operator=(const GXSkinSource&) = delete;

    // Stores the path and flag and forgets listings and the temporary
    // folder; an existing file (not a folder) is opened as a zip. False when
    // that open fails.
    bool SetPath(const std::string& path, bool bFromResources);
    [[nodiscard]] bool IsSet() const { return !m_strPath.empty(); }
    [[nodiscard]] const std::string& GetPath() const { return m_strPath; }
    [[nodiscard]] bool IsZip() const { return m_bZip; }
    [[nodiscard]] bool IsFromResources() const { return m_bFromResources; }

    // The whole file; false when the skin has no such file or it is too big.
    bool ReadFile(const std::string& name, std::string* pData);
    // A file (not a folder) of that name exists in the skin.
    [[nodiscard]] bool HasFile(const std::string& name);
    // The folder path a name resolves to inside a folder skin; "" when none.
    [[nodiscard]] std::string ResolveFolderName(const std::string& name);

    // Closes the zip and forgets the temporary folder; the next access
    // reopens the zip.
    void Release();
    // Zip skins only: a private folder (under the user's own temporary
    // folder, named by the MD5 of the skin path) holding every entry the
    // skin does not read itself, extracted on first use.
    bool GetTempFolder(std::string* pFolder);

private:
    bool OpenZip();
    const std::map<std::string, std::string>& Listing(const std::string& folder);

    std::string m_strPath;
    bool m_bFromResources = false;
    bool m_bZip = false;
    std::unique_ptr<GZipReader> m_pZip;
    std::string m_strTempFolder;
    // Folder path -> (lower-cased name -> name on disk, the first one seen).
    std::map<std::string, std::map<std::string, std::string>> m_listings;
};
