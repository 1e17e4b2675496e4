#pragma once

#include <string>

class GXConOwner;

// Thread: user-interface thread (asks the skin window).
// Which page or movie a browser or Flash control opens, shared by both.

enum class Online { No, Yes };

// The URL while online or when there is no offline page, else offUrl.
[[nodiscard]] std::string ChooseSkinPage(const std::string& url, const std::string& offUrl, Online online);

// A page "./rest" is a file of the skin: the skin's content folder + "/" +
// rest, with the skin's '\' separators turned into '/'. Any other page comes
// back as it is; "./rest" of a skin without a content folder comes back
// empty, so nothing is opened rather than a path at the file system's root.
[[nodiscard]] std::string ResolveSkinPage(GXConOwner* pOwner, const std::string& page);
