#include "skin/host/SkinPage.h"

#include "skin/GXConOwner.h"

#include <algorithm>

std::string ChooseSkinPage(const std::string& url, const std::string& offUrl, Online online)
{
    return online == Online::Yes || offUrl.empty() ? url : offUrl;
}

std::string ResolveSkinPage(GXConOwner* pOwner, const std::string& page)
{
    if (page.rfind("./", 0) != 0)
        return page;
    const std::string folder = pOwner != nullptr ? pOwner->GetSkinContentFolder() : std::string();
    if (folder.empty())
        return {};
    std::string rest = page.substr(2);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return folder + "/" + rest;
}
