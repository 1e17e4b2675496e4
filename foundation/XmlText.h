#pragma once

#include <string>
#include <string_view>

// Replaces, over the whole text and in this order, & > < " ' by their
// entities.
[[nodiscard]] std::string XmlEscape(std::string_view text);

// One pass left to right: "&&" becomes "&"; &amp; &gt; &lt; &quot; &apos;
// become their characters; any other '&' stays as it is.
[[nodiscard]] std::string XmlUnescape(std::string_view text);
