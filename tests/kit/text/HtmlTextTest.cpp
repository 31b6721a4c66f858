#include "kit/HtmlText.h"

#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

const QString replacement(QChar(0xfffd));

} // namespace

TEST(HtmlText, RemovingEntities)
{
    struct Case
    {
        QString text;
        QString plain;
    };
    const Case cases[] = {
        {"a &amp; b", "a & b"},
        {"&eacute;t&eacute;", QStringLiteral("\u00e9t\u00e9")},
        {"&#65;", "A"},
        {"&#x41;&#X62;", "Ab"},
        {"&lt;b&gt; &quot;x&quot; &apos;y&apos;", "<b> \"x\" 'y'"},
        {"&nbsp;&yuml;&AElig;", QStringLiteral("\u00a0\u00ff\u00c6")},
        {"&frac12;&times;&szlig;&divide;&mdash;", QStringLiteral("\u00bd\u00d7\u00df\u00f7")}, // Latin-1 only
        {"&#128512;", QString::fromUcs4(U"\U0001F600")},
        {"&#0;", replacement},
        {"&#x110000;", replacement},
        {"&#xD800;", replacement},
        {"&#99999999999999999999;", replacement},
        {"&#;", replacement},
        {"&#65abc;", "A"},     // leading digits only
        {"&unknown; x", " x"}, // an unknown name disappears
        {"&AMP;", ""},         // names are case-sensitive
        {"AT&T", "AT&T"},      // no ";"
        {"fish & chips;", "fish & chips;"},
        {"Q&A: why; how", "Q&A: why; how"}, // not an entity name
        {"a &; b", "a &; b"},
        {"ends with &", "ends with &"},
        {"&", "&"},
        {"&&amp;", "&&"},
        {"no entities", "no entities"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.text));
        EXPECT_EQ(stringByRemovingHTMLEntities(c.text), c.plain);
    }
}

TEST(HtmlText, RemovingTags)
{
    EXPECT_EQ(stringByRemovingHTMLTags("<b>x</b> \"y\""), " x  &quot;y&quot;");
    EXPECT_EQ(stringByRemovingHTMLTags("plain \"text\""), "plain \"text\"");
    EXPECT_EQ(stringByRemovingHTMLTags("a<br/>b<unclosed"), "a b");
}

TEST(HtmlText, XmlEscaping)
{
    EXPECT_EQ(xmlEscapedString("<a href='x'>\"Tom & Jerry\"</a>"),
              "&lt;a href=&apos;x&apos;&gt;&quot;Tom &amp; Jerry&quot;&lt;/a&gt;");
    EXPECT_EQ(xmlEscapedString("&amp;"), "&amp;amp;");
}
