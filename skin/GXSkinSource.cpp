#include "skin/GXSkinSource.h"

#include "foundation/Md5.h"
#include "foundation/Paths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Folder listings are read once each; a hostile skin could name very many.
constexpr std::size_t kMaxListedFolders = 256;
constexpr std::size_t kMaxListedNames = 65536;

std::string Lower(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool IsFolder(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ReadWholeFile(const std::string& path, std::string* pData)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st { };
    bool bOk = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0
        && static_cast<std::uint64_t>(st.st_size) <= GXSkinSource::kMaxFileBytes;
    if (bOk) {
        // The size is a hint only: the file may change while it is read.
        pData->clear();
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                bOk = n == 0;
                break;
            }
            if (pData->size() + static_cast<std::size_t>(n) > GXSkinSource::kMaxFileBytes) {
                bOk = false;
                break;
            }
            pData->append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return bOk;
}

} // namespace

bool GXSkinSource::SetPath(const std::string& path, bool bFromResources)
{
    m_strPath = path;
    m_bFromResources = bFromResources;
    m_bZip = false;
    m_listings.clear();
    Release();
    m_pZip.reset();
    if (bFromResources || path.empty() || IsFolder(path) || !IsRegularFile(path))
        return true;
    m_bZip = true;
    if (!OpenZip()) {
        m_pZip.reset();
        m_bZip = false;
        return false;
    }
    return true;
}

bool GXSkinSource::OpenZip()
{
    if (m_pZip == nullptr)
        m_pZip = std::make_unique<GZipReader>();
    if (m_pZip->IsOpen())
        return true;
    return m_pZip->Open(m_strPath);
}

void GXSkinSource::Release()
{
    if (m_pZip != nullptr)
        m_pZip->Close();
    m_strTempFolder.clear();
}

const std::map<std::string, std::string>& GXSkinSource::Listing(const std::string& folder)
{
    static const std::map<std::string, std::string> kNone;
    if (const auto it = m_listings.find(folder); it != m_listings.end())
        return it->second;
    if (m_listings.size() >= kMaxListedFolders)
        return kNone;
    std::map<std::string, std::string>& names = m_listings[folder];
    DIR* pDir = ::opendir(folder.c_str());
    if (pDir == nullptr)
        return names;
    while (const dirent* pEntry = ::readdir(pDir)) {
        if (names.size() >= kMaxListedNames)
            break;
        const std::string name = pEntry->d_name;
        if (name == "." || name == "..")
            continue;
        names.emplace(Lower(name), name);
    }
    ::closedir(pDir);
    return names;
}

std::string GXSkinSource::ResolveFolderName(const std::string& name)
{
    if (m_bZip || m_bFromResources || m_strPath.empty() || name.empty())
        return {};
    std::string path = m_strPath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::size_t nStart = 0;
    while (nStart <= name.size()) {
        std::size_t nEnd = name.find_first_of("/\\", nStart);
        if (nEnd == std::string::npos)
            nEnd = name.size();
        const std::string part = name.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            path += "/..";
            continue;
        }
        // The exact name wins over one that differs in case only.
        if (IsFolder(path + "/" + part) || IsRegularFile(path + "/" + part)) {
            path += "/" + part;
            continue;
        }
        const auto& names = Listing(path);
        const auto it = names.find(Lower(part));
        if (it == names.end())
            return {};
        path += "/" + it->second;
    }
    return path;
}

bool GXSkinSource::ReadFile(const std::string& name, std::string* pData)
{
    pData->clear();
    if (m_strPath.empty() || m_bFromResources)
        return false;
    if (m_bZip) {
        if (!OpenZip() || !m_pZip->FindEntry(name))
            return false;
        std::unique_ptr<uint8_t[]> pBytes;
        std::size_t nSize = 0;
        if (!m_pZip->ExtractToMemory(&pBytes, &nSize))
            return false;
        pData->assign(reinterpret_cast<const char*>(pBytes.get()), nSize);
        return true;
    }
    const std::string path = ResolveFolderName(name);
    return !path.empty() && ReadWholeFile(path, pData);
}

bool GXSkinSource::HasFile(const std::string& name)
{
    if (m_strPath.empty() || m_bFromResources)
        return false;
    if (m_bZip)
        return OpenZip() && m_pZip->FindEntry(name) && !m_pZip->GetCurrentEntry()->IsDirectory();
    const std::string path = ResolveFolderName(name);
    return !path.empty() && IsRegularFile(path);
}

bool GXSkinSource::GetTempFolder(std::string* pFolder)
{
    if (!m_bZip)
        return false;
    if (m_strTempFolder.empty()) {
        const std::string base = GetPrivateTempFolder();
        if (base.empty() || !OpenZip())
            return false;
        const std::string folder = base + "GXSKINTEMP/" + Md5Hex(m_strPath) + "/";
        if (!CreateFolderPath(folder) || !m_pZip->ExtractAllExcept(folder))
            return false;
        m_strTempFolder = folder;
    }
    *pFolder = m_strTempFolder;
    return true;
}
