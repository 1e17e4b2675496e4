#include "skin/GXImagePrefetch.h"

#include "foundation/GXmp.h"
#include "foundation/GXmpData.h"
#include "skin/GDib.h"
#include "skin/GXSkinSource.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace {

bool IsPictureName(std::string_view value)
{
    static constexpr std::string_view kSuffixes[] = { ".png", ".bmp", ".jpg", ".jpeg", ".gif" };
    return std::any_of(std::begin(kSuffixes), std::end(kSuffixes), [value](std::string_view suffix) {
        return value.size() > suffix.size()
            && std::equal(suffix.begin(), suffix.end(), value.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
    });
}

// Every attribute value that names a picture file, once each, in the
// document's order. The walk keeps its own stack: the document's depth is
// bounded by its parser, the list by kMaxPictures.
std::vector<std::string> PictureNames(const GXmpData* pRoot)
{
    std::vector<std::string> names;
    std::vector<const GXmpData*> pending { pRoot };
    while (!pending.empty() && names.size() < GXImagePrefetch::kMaxPictures) {
        const GXmpData* pNode = pending.back();
        pending.pop_back();
        for (const auto& [key, value] : pNode->GetAttributes()) {
            if (IsPictureName(value) && std::find(names.begin(), names.end(), value) == names.end()
                && names.size() < GXImagePrefetch::kMaxPictures)
                names.push_back(value);
        }
        const size_t firstChild = pending.size();
        GXmpData::Position pos = pNode->GetFirstChildPosition();
        while (const GXmpData* pChild = pNode->GetNextChild(pos))
            pending.push_back(pChild);
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstChild), pending.end());
    }
    return names;
}

} // namespace

GXImagePrefetch::~GXImagePrefetch()
{
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    if (m_thread.joinable())
        m_thread.join();
}

void GXImagePrefetch::Start(const std::string& path, const std::string& documentFile)
{
    if (m_thread.joinable())
        return;
    m_thread = std::thread([this, path, documentFile] { Run(path, documentFile); });
}

std::unique_ptr<GDib> GXImagePrefetch::Take(const std::string& name)
{
    if (!m_thread.joinable())
        return nullptr;
    std::unique_lock lock(m_mutex);
    const auto ready = [&] {
        if (m_bFinished)
            return true;
        if (!m_bListed)
            return false;
        const auto it = m_pictures.find(name);
        return it == m_pictures.end() || it->second.bDone;
    };
    m_changed.wait(lock, ready);
    const auto it = m_pictures.find(name);
    return it != m_pictures.end() && it->second.bDone ? std::move(it->second.pImage) : nullptr;
}

void GXImagePrefetch::Run(const std::string& path, const std::string& documentFile)
{
    GXSkinSource source;
    std::string data;
    GXmp document;
    if (!source.SetPath(path, false) || !source.ReadFile(documentFile, &data)
        || !document.LoadBuffer(data.data(), static_cast<int>(data.size())) || document.GetRoot() == nullptr) {
        Finish();
        return;
    }
    const std::vector<std::string> names = PictureNames(document.GetRoot());
    {
        const std::lock_guard lock(m_mutex);
        for (const std::string& name : names)
            m_pictures[name];
        m_bListed = true;
    }
    m_changed.notify_all();

    std::int64_t nBytes = 0;
    for (const std::string& name : names) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_bStop)
                break;
        }
        std::unique_ptr<GDib> pImage;
        if (source.ReadFile(name, &data))
            pImage = GDib::FromFileData(data);
        if (pImage != nullptr)
            nBytes += std::int64_t { pImage->GetWidth() } * pImage->GetHeight() * 4;
        {
            const std::lock_guard lock(m_mutex);
            SPicture& picture = m_pictures[name];
            picture.bDone = true;
            picture.pImage = std::move(pImage);
        }
        m_changed.notify_all();
        if (nBytes > kMaxBytes)
            break;
    }
    Finish();
}

void GXImagePrefetch::Finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_bFinished = true;
    }
    m_changed.notify_all();
}
