// Request lines, header lines, titles and page templates as a hostile peer
// could send them to the built-in server.

#include "engine/server/ServerProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    ServerRequest request;
    if (ParseServerRequest(input, &request)) {
        for (const auto& [key, value] : request.query) {
            if (key.empty() || value.find('\0') != std::string::npos)
                std::abort();
        }
    }
    std::string name;
    std::string value;
    (void)ParseHeaderLine(input, &name, &value);
    (void)IsSafePagePath(input);

    const size_t half = size / 2;
    const std::string title = StripLineBreaks(PercentDecode(input.substr(0, half)));
    const std::string url = StripLineBreaks(input.substr(half));
    const std::string block = BuildMetadataBlock(title, url);
    if (block.size() > kMaxMetadataBlock || block.size() % 16 != 0 || block.back() != '\0')
        std::abort();

    PageValues values;
    values.serverName = title;
    values.songTitle = url;
    const std::string page = FillPageTemplate(input, values, PageEscape::Html);
    if (page.find('<', 0) != std::string::npos && input.find('<') == std::string_view::npos)
        std::abort(); // an inserted value brought markup
    (void)FillPageTemplate(input, values, PageEscape::Js);
    return 0;
}
