#include "foundation/XmlText.h"

#include <gtest/gtest.h>

TEST(XmlText, EscapeAndUnescapeRoundTripEntityLookingText)
{
    EXPECT_EQ(XmlEscape("a<b & 'c' \"d\">"), "a&lt;b &amp; &apos;c&apos; &quot;d&quot;&gt;");
    EXPECT_EQ(XmlEscape("&lt;"), "&amp;lt;");
    EXPECT_EQ(XmlUnescape(XmlEscape("&lt;")), "&lt;");
    EXPECT_EQ(XmlUnescape("&amp;&gt;&lt;&quot;&apos;"), "&><\"'");
    EXPECT_EQ(XmlUnescape("a&&b"), "a&b");
    EXPECT_EQ(XmlUnescape("&copy; & &am"), "&copy; & &am");
    EXPECT_EQ(XmlUnescape("&&amp;"), "&amp;"); // one pass: "&&" is taken first
    EXPECT_EQ(XmlUnescape(""), "");
}
