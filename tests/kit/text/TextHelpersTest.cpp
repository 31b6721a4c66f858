#include "kit/TextHelpers.h"

#include <gtest/gtest.h>

using namespace ombrelay;

TEST(TextHelpers, EscapedStringKeepsOnlyUnreservedCharacters)
{
    struct Case
    {
        QString text;
        QString escaped;
    };
    const Case cases[] = {
        {"a b&c", "a%20b%26c"},
        {"c++ & c#?", "c%2B%2B%20%26%20c%23%3F"},
        {"key=value/x", "key%3Dvalue%2Fx"},
        {"AZaz09-._~", "AZaz09-._~"},
        {QStringLiteral("\u00e9t\u00e9"), "%C3%A9t%C3%A9"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.text));
        EXPECT_EQ(escapedString(c.text), c.escaped);
        EXPECT_EQ(unescapedString(c.escaped), c.text);
    }
    EXPECT_EQ(unescapedString("100%"), "100%");
    EXPECT_EQ(unescapedString("%FF"), QString(QChar(0xfffd)));
}

TEST(TextHelpers, StringWithNumberOfObjects)
{
    EXPECT_TRUE(stringWithNumberOfObjects(0, "peer").isNull());
    EXPECT_TRUE(stringWithNumberOfObjects(-3, "peer").isNull());
    EXPECT_EQ(stringWithNumberOfObjects(1, "peer"), "1 peer");
    EXPECT_EQ(stringWithNumberOfObjects(3, "seed"), "3 seeds");
    EXPECT_EQ(stringWithNumberOfObjects(5'000'000'000, "peer"), "5000000000 peers");
}

TEST(TextHelpers, Stripping)
{
    EXPECT_EQ(stringByStrippingWhitespace(u" a b\tc\r\n"), "abc");
    EXPECT_EQ(stringByStrippingNewlines(u"a\r\nb c\n"), "ab c");
    EXPECT_EQ(stringByRemovingWhitespaceAndNewlines(u"  a\nb c \n"), "ab c");
    EXPECT_EQ(stringByRemovingPrefix("urn:btih:abc", u"urn:btih:"), "abc");
    EXPECT_EQ(stringByRemovingPrefix("abc", u"urn:btih:"), "abc");
    EXPECT_EQ(stringByRemovingSuffix("name.torrent", u".torrent"), "name");
    EXPECT_EQ(stringByRemovingSuffix("name", u".torrent"), "name");
}

TEST(TextHelpers, SubstringBetween)
{
    struct Case
    {
        QString text, start, end;
        std::optional<QString> between;
    };
    const Case cases[] = {
        {"x?a=1", "?", "", "a=1"},  {"x?", "?", "", ""},          {"xa=1", "?", "", std::nullopt},
        {"", "", "", std::nullopt}, {"?", "?", "", std::nullopt}, // not longer than the marker
        {"abc", "", "c", "ab"},     {"a[b]c]", "[", "]", "b"},    {"a[bc", "[", "]", "bc"},
        {"a]b[c", "[", "]", "c"}, // an end marker before the start does not count
        {"[]", "[", "]", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.text + " | " + c.start + " | " + c.end));
        EXPECT_EQ(substringBetween(c.text, c.start, c.end), c.between);
    }
    EXPECT_EQ(rangeBetween(u"x?a=1", u"?", u"="), PZMakeRange(2, 1));
    EXPECT_EQ(substringBetweenTags(u"<title>Hi</title><x>", u"title"), "Hi");
    EXPECT_EQ(substringBetweenTags(u"<b>Hi", u"title"), std::nullopt);
}
