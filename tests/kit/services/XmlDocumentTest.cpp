#include "kit/XmlDocument.h"

#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

constexpr qsizetype kCap = 1 << 20;

XmlElement rootOf(const XmlDocument& doc)
{
    EXPECT_TRUE(doc.isValid()) << doc.errorString().toStdString();
    return doc.rootElement();
}

TEST(XmlDocumentTest, ChildElementsAndTheirStrings)
{
    const XmlDocument doc = XmlDocument::parse(R"(<?xml version="1.0"?>
<rss version=" 2.0 " xmlns:dc="http://purl.org/dc/elements/1.1/">
 <channel>
  <title>  Releases  </title>
  <empty>   </empty>
  <dc:date>2008-06-02T14:03:00Z</dc:date>
  <item><title>one &amp; two</title><guid isPermaLink="true">http://a/1</guid></item>
  <item><title><![CDATA[three <b>bold</b>]]></title></item>
  <summary type="text">a &lt; b</summary>
  <content type="xhtml"><div><p>Hi <b>there</b></p></div></content>
  <html type="html">&lt;p&gt;x&lt;/p&gt;</html>
 </channel>
</rss>)",
                                               XmlDocument::Syntax::Xml, kCap);
    const XmlElement root = rootOf(doc);
    EXPECT_EQ(root.name(), QStringLiteral("rss"));
    EXPECT_EQ(root.stringForAttribute(QStringLiteral("version")), QStringLiteral("2.0"));
    EXPECT_TRUE(root.stringForAttribute(QStringLiteral("missing")).isNull());

    const XmlElement channel = root.elementForName(QStringLiteral("channel"));
    ASSERT_FALSE(channel.isNull());
    struct Case
    {
        const char* element;
        QString expected;  // null: nil
    };
    const Case cases[] = {
        {"title", QStringLiteral("Releases")},
        {"empty", QString()},
        {"nothing", QString()},
        {"dc:date", QStringLiteral("2008-06-02T14:03:00Z")},
        {"summary", QStringLiteral("a &lt; b")},
        {"content", QStringLiteral("<div><p>Hi <b>there</b></p></div>")},
        {"html", QStringLiteral("<p>x</p>")},
    };
    for (const Case& c : cases) {
        const QString got = channel.stringForElement(QLatin1String(c.element));
        EXPECT_EQ(got, c.expected) << c.element;
        EXPECT_EQ(got.isNull(), c.expected.isNull()) << c.element;
    }
    EXPECT_EQ(channel.stringForElement(QStringLiteral("empty"), QStringLiteral("title")), QStringLiteral("Releases"));
    EXPECT_EQ(channel.stringForElement(QStringLiteral("title"), QStringLiteral("summary")), QStringLiteral("Releases"));
    EXPECT_TRUE(channel.stringForElement(QStringLiteral("empty"), QStringLiteral("nothing")).isNull());

    const QList<XmlElement> items = channel.elementsForName(QStringLiteral("item"));
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].stringForElement(QStringLiteral("title")), QStringLiteral("one & two"));
    EXPECT_EQ(items[1].stringForElement(QStringLiteral("title")), QStringLiteral("three <b>bold</b>"));
    EXPECT_EQ(items[0].elementForName(QStringLiteral("guid")).stringForAttribute(QStringLiteral("isPermaLink")),
              QStringLiteral("true"));
    EXPECT_EQ(channel.childElements().size(), 8);
}

TEST(XmlDocumentTest, PrefixedRootKeepsItsQualifiedName)
{
    const XmlDocument doc = XmlDocument::parse(
        R"(<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns="http://purl.org/rss/1.0/">)"
        R"(<channel/><item><title>x</title></item></rdf:RDF>)",
        XmlDocument::Syntax::Xml, kCap);
    const XmlElement root = rootOf(doc);
    EXPECT_EQ(root.name(), QStringLiteral("rdf:RDF"));
    EXPECT_EQ(root.elementsForName(QStringLiteral("item")).size(), 1);
}

TEST(XmlDocumentTest, RefusesUnsafeOrBrokenInput)
{
    const char* const refused[] = {
        "",
        "<rss><channel></rss>",
        "not xml at all",
        // external entity: must never read the file
        R"(<?xml version="1.0"?><!DOCTYPE r [<!ENTITY x SYSTEM "file:///etc/passwd">]><r>&x;</r>)",
        // expansion bomb
        R"(<?xml version="1.0"?><!DOCTYPE r [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">)"
        R"(<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;"><!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">)"
        R"(<!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;"><!ENTITY f "&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;">]><r>&f;&f;&f;</r>)",
        // parameter entity with an external source
        R"(<?xml version="1.0"?><!DOCTYPE r [<!ENTITY % p SYSTEM "http://127.0.0.1:9/x.dtd"> %p;]><r/>)",
    };
    for (const char* text : refused) {
        const XmlDocument doc = XmlDocument::parse(QByteArray(text), XmlDocument::Syntax::Xml, kCap);
        EXPECT_FALSE(doc.isValid()) << text;
        EXPECT_FALSE(doc.errorString().isEmpty()) << text;
    }
}

TEST(XmlDocumentTest, ExternalDtdIsNotLoaded)
{
    // Old feeds name a DTD on a web site; it is neither fetched nor needed.
    const XmlDocument doc = XmlDocument::parse(
        R"(<?xml version="1.0"?><!DOCTYPE rss PUBLIC "-//Netscape Communications//DTD RSS 0.91//EN" )"
        R"("http://127.0.0.1:9/rss-0.91.dtd"><rss version="0.91"><channel><title>Old</title></channel></rss>)",
        XmlDocument::Syntax::Xml, kCap);
    EXPECT_EQ(rootOf(doc).elementForName(QStringLiteral("channel")).stringForElement(QStringLiteral("title")),
              QStringLiteral("Old"));
}

TEST(XmlDocumentTest, SizeCapIsEnforcedBeforeParsing)
{
    const QByteArray text = "<r>" + QByteArray(5000, 'x') + "</r>";
    EXPECT_FALSE(XmlDocument::parse(text, XmlDocument::Syntax::Xml, 4096).isValid());
    EXPECT_TRUE(XmlDocument::parse(text, XmlDocument::Syntax::Xml, text.size()).isValid());
}

TEST(XmlDocumentTest, HtmlIsReadForgivingly)
{
    const XmlDocument doc = XmlDocument::parse(
        "<html><body><p>Results<table><tr><td><A HREF=' /download/1.torrent '>one</a>"
        "<td><a href=\"magnet:?xt=urn:btih:abc\">two</a></table><br></body>",
        XmlDocument::Syntax::Html, kCap);
    const XmlElement root = rootOf(doc);
    EXPECT_EQ(root.name(), QStringLiteral("html"));
    QStringList links;
    std::function<void(const XmlElement&)> walk = [&](const XmlElement& e) {
        if (e.name() == QLatin1String("a"))
            links << e.stringForAttribute(QStringLiteral("href"));
        for (const XmlElement& child : e.childElements())
            walk(child);
    };
    walk(root);
    EXPECT_EQ(links, (QStringList{"/download/1.torrent", "magnet:?xt=urn:btih:abc"}));
}

TEST(XmlDocumentTest, DocumentsMoveWithoutLosingTheirElements)
{
    XmlDocument first = XmlDocument::parse("<feed><entry/></feed>", XmlDocument::Syntax::Xml, kCap);
    XmlDocument moved = std::move(first);
    EXPECT_FALSE(first.isValid());  // NOLINT: checking the moved-from state on purpose
    EXPECT_EQ(moved.rootElement().elementsForName(QStringLiteral("entry")).size(), 1);
    EXPECT_TRUE(first.rootElement().isNull());
}

}  // namespace
