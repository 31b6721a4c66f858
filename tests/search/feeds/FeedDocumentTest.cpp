#include "search/feeds/FeedDocument.h"
#include "search/feeds/FeedItemIndex.h"
#include "support/HttpTestServer.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QUrl kBase(QStringLiteral("http://feeds.test/dir/rss.xml"));
const QDateTime kNow = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);

QDateTime utc(const char* iso)
{
    return QDateTime::fromString(QLatin1String(iso), Qt::ISODate);
}

struct Golden
{
    const char* name;
    QByteArray document;
    QString format;
    QString feedName;
    QList<QVariantMap> items;  // only the keys given are compared; absent keys must be absent
};

// Every key an item may have; a golden item lists the ones it expects ("description" is "" when none).
const QStringList kKeys{"title", "link", "description", "commentsLink", "authorName", "authorURI",
                        "authorEmail", "guid", "date", "enclosureURL", "enclosureType", "enclosureLength"};

}  // namespace

TEST(FeedDocumentTest, FixturesGiveTheirGoldenItems)
{
    const QList<Golden> cases = {
        {"rss 2.0 with links, guids, enclosures and authors",
         R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:content="http://purl.org/rss/1.0/modules/content/" xmlns:dc="http://purl.org/dc/elements/1.1/">
<channel><title>Channel</title><pubDate>Tue, 14 Nov 2023 10:00:00 GMT</pubDate>
<item><title>One</title><guid isPermaLink="true">http://feeds.test/one</guid><description>first</description>
  <content:encoded>&lt;p&gt;full&lt;/p&gt;</content:encoded><comments>/c/1</comments><author>a@b.test</author>
  <pubDate>Mon, 13 Nov 2023 08:30:00 +0100</pubDate></item>
<item><title>Two</title><guid>two-guid</guid><dc:creator>Dee</dc:creator>
  <enclosure url="http://t.test/a b/&#233;.torrent?x=1&amp;y=2" type="application/x-bittorrent" length="42"/></item>
<item><title>Three</title><link>files/three.torrent</link><pubDate>not a date</pubDate>
  <enclosure url="/e/3.torrent"/></item>
</channel></rss>)",
         "rss", "Channel",
         {{{"title", "One"}, {"link", "http://feeds.test/one"}, {"guid", "http://feeds.test/one"},
           {"description", "<p>full</p>"}, {"commentsLink", "http://feeds.test/c/1"}, {"authorName", "a@b.test"},
           {"date", utc("2023-11-13T07:30:00Z")}},
          {{"title", "Two"}, {"guid", "two-guid"}, {"authorName", "Dee"},
           {"enclosureURL", "http://t.test/a%20b/%C3%A9.torrent?x=1&y=2"},
           {"enclosureType", "application/x-bittorrent"}, {"enclosureLength", "42"},
           {"date", utc("2023-11-14T10:00:00Z")}},
          {{"title", "Three"}, {"link", "http://feeds.test/dir/files/three.torrent"},
           {"enclosureURL", "http://feeds.test/e/3.torrent"}, {"date", kNow}}}},
        {"a guid not marked as a permalink is no link; magnet links stay",
         R"(<rss><channel><item><title>M</title><guid isPermaLink="false">http://x.test/g</guid>
<link>magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567</link></item>
<item><title>N</title><guid>http://x.test/n</guid></item></channel></rss>)",
         "rss", "",
         {{{"title", "M"}, {"guid", "http://x.test/g"},
           {"link", "magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567"}, {"date", kNow}},
          {{"title", "N"}, {"guid", "http://x.test/n"}, {"date", kNow}}}},
        {"byte-order mark and whitespace before the declaration",
         "\xEF\xBB\xBF \r\n\t<?xml version=\"1.0\"?><rss><channel><title>B</title><item><title>x</title>"
         "</item></channel></rss>",
         "rss", "B", {{{"title", "x"}, {"date", kNow}}}},
        {"declared ISO-8859-1",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss><channel><item><title>caf\xE9</title></item>"
         "</channel></rss>",
         "rss", "", {{{"title", QStringLiteral("caf\u00e9")}, {"date", kNow}}}},
        {"declared windows-1252",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?><rss><channel><item><title>\x93q\x94 \x80</title>"
         "</item></channel></rss>",
         "rss", "", {{{"title", QStringLiteral("\u201cq\u201d \u20ac")}, {"date", kNow}}}},
        {"rss 0.91 naming its DTD, with HTML entities",
         R"(<?xml version="1.0"?><!DOCTYPE rss PUBLIC "-//Netscape Communications//DTD RSS 0.91//EN" "http://127.0.0.1:9/rss-0.91.dtd">
<rss version="0.91"><channel><title>Old</title><item><title>caf&eacute;&nbsp;au&nbsp;lait</title>
<link>http://old.test/1</link><description>&copy; me</description></item></channel></rss>)",
         "rss", "Old",
         {{{"title", QStringLiteral("caf\u00e9\u00a0au\u00a0lait")}, {"link", "http://old.test/1"},
           {"description", QStringLiteral("\u00a9 me")}, {"date", kNow}}}},
        {"undeclared HTML entities without a DTD, CDATA and tags in titles",
         R"(<rss><channel><item><title><![CDATA[<b>Bold</b> &amp; more]]></title>
<description>a&nbsp;b &lt;i&gt;c&lt;/i&gt;</description></item></channel></rss>)",
         "rss", "",
         {{{"title", "Bold  & more"}, {"description", QStringLiteral("a\u00a0b <i>c</i>")}, {"date", kNow}}}},
        {"rdf items beside the channel",
         R"(<?xml version="1.0"?><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns="http://purl.org/rss/1.0/" xmlns:dc="http://purl.org/dc/elements/1.1/">
<channel><title>R</title></channel>
<item><title>r1</title><link>http://r.test/1</link><dc:date>2023-11-01T12:00:00Z</dc:date></item>
<item><title>r2</title><link>http://r.test/2</link></item></rdf:RDF>)",
         "rdf:RDF", "R",
         {{{"title", "r1"}, {"link", "http://r.test/1"}, {"date", utc("2023-11-01T12:00:00Z")}},
          {{"title", "r2"}, {"link", "http://r.test/2"}, {"date", kNow}}}},
        {"atom: links with and without rel, enclosures, xhtml, authors and dates",
         R"(<?xml version="1.0"?><feed xmlns="http://www.w3.org/2005/Atom"><title type="html">&lt;i&gt;A&lt;/i&gt;</title>
<updated>2023-10-01T00:00:00Z</updated>
<entry><title>e1</title><id>tag:a.test,1</id><link href="/page/1"/><link rel="enclosure" href="t/1.torrent" type="application/x-bittorrent" length="9"/>
  <content type="xhtml"><div xmlns="http://www.w3.org/1999/xhtml"><p>hi</p></div></content>
  <author><name>Ann</name><url>http://ann.test</url><email>ann@a.test</email></author>
  <published>2023-10-02T00:00:00Z</published><updated>2023-10-03T00:00:00Z</updated></entry>
<entry><title type="text">e2 &lt;3</title><id>http://a.test/e2</id><link rel="self" href="http://a.test/self"/><summary>s</summary></entry>
</feed>)",
         "feed", "A",
         {{{"title", "e1"}, {"guid", "tag:a.test,1"}, {"link", "http://feeds.test/page/1"},
           {"enclosureURL", "http://feeds.test/dir/t/1.torrent"}, {"enclosureType", "application/x-bittorrent"},
           {"enclosureLength", "9"},
           {"description", R"(<div xmlns="http://www.w3.org/1999/xhtml"><p>hi</p></div>)"},
           {"authorName", "Ann"}, {"authorURI", "http://ann.test"}, {"authorEmail", "ann@a.test"},
           {"date", utc("2023-10-02T00:00:00Z")}},
          {{"title", "e2 <3"}, {"guid", "http://a.test/e2"}, {"link", "http://a.test/e2"}, {"description", "s"},
           {"date", utc("2023-10-01T00:00:00Z")}}}},
    };
    for (const Golden& c : cases) {
        SCOPED_TRACE(c.name);
        const FeedDocument feed = FeedDocument::parse(c.document, kBase, kNow);
        ASSERT_TRUE(feed.isValidFeed()) << qPrintable(feed.errorString());
        EXPECT_EQ(feed.feedFormat(), c.format);
        EXPECT_EQ(feed.name(), c.feedName);
        ASSERT_EQ(feed.items().size(), c.items.size());
        for (qsizetype i = 0; i < c.items.size(); ++i) {
            const QVariantMap& item = feed.items().at(i);
            for (const QString& key : kKeys)
                EXPECT_EQ(item.value(key), c.items.at(i).value(key, key == "description" ? QVariant("") : QVariant()))
                    << i << " " << qPrintable(key) << ": " << qPrintable(item.value(key).toString());
            EXPECT_EQ(item.value("dateAdded").toDateTime(), kNow);
            EXPECT_EQ(item.value("isNew"), QVariant(QStringLiteral("1")));
        }
    }
}

TEST(FeedDocumentTest, HostileOrBrokenDocumentsAreRefusedQuickly)
{
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    const QByteArray entityAddress = server.url("/secret").toEncoded();
    QByteArray deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    QByteArray laughs = R"(<?xml version="1.0"?><!DOCTYPE rss [<!ENTITY a "aaaaaaaaaa">)";
    for (char e = 'b'; e <= 'j'; ++e)
        laughs += QByteArray("<!ENTITY ") + e + " \"" + QByteArray("&").append(char(e - 1)).append(';').repeated(10)
                + "\">";
    laughs += "]><rss><channel><item><title>&j;</title></item></channel></rss>";
    const QByteArray whole = "<rss><channel><item><title>t</title></item></channel></rss>";
    const QList<QPair<const char*, QByteArray>> refused = {
        {"billion laughs", laughs},
        {"external entity", "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY x SYSTEM \"" + entityAddress
                                + "\">]><rss><channel><item><title>&x;</title></item></channel></rss>"},
        {"external parameter entity",
         "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY % p SYSTEM \"" + entityAddress + "\"> %p;]><rss/>"},
        {"deep nesting", "<rss><channel><item><title>" + deep},
        {"cut body", whole.left(whole.size() - 12)},
        {"not xml", "<!doctype html><html><body><p>Not found</body></html>"},
        {"html page", "<html><body>x</body></html>"},
        {"over the cap", "<rss><channel><item><title>" + QByteArray(FeedDocument::kMaxBytes, 'x')
                             + "</title></item></channel></rss>"},
        {"unknown entity", "<rss><channel><item><title>&notanentity;</title></item></channel></rss>"},
    };
    for (const auto& [name, document] : refused) {
        SCOPED_TRACE(name);
        const FeedDocument feed = FeedDocument::parse(document, kBase, kNow);
        EXPECT_FALSE(feed.isValidFeed());
        EXPECT_TRUE(feed.items().isEmpty());
        EXPECT_FALSE(feed.errorString().isEmpty());
    }
    EXPECT_EQ(server.requestCount(), 0);
}

TEST(FeedDocumentTest, RepeatedEntriesAreFoundByTheirKeys)
{
    // Case, stored item, incoming item, whether it repeats the stored one.
    const QList<std::tuple<const char*, QVariantMap, QVariantMap, bool>> cases = {
        {"same guid, new title", {{"guid", "g"}, {"title", "a"}}, {{"guid", "g"}, {"title", "b"}}, true},
        {"same enclosure", {{"enclosureURL", "e"}}, {{"enclosureURL", "e"}, {"guid", "h"}}, true},
        {"same link, no guids", {{"link", "l"}}, {{"link", "l"}}, true},
        {"same link, different guids", {{"link", "l"}, {"guid", "1"}}, {{"link", "l"}, {"guid", "2"}}, false},
        {"same link, one guid", {{"link", "l"}}, {{"link", "l"}, {"guid", "2"}}, true},
        {"same link, different enclosures", {{"link", "l"}, {"enclosureURL", "a"}},
         {{"link", "l"}, {"enclosureURL", "b"}}, false},
        {"keyless, same text", {{"title", "t"}, {"description", "d"}}, {{"title", "t"}, {"description", "d"}}, true},
        {"keyless, other text", {{"title", "t"}, {"description", "d"}}, {{"title", "t"}, {"description", "e"}},
         false},
        {"keyed never matches by text", {{"title", "t"}, {"guid", "1"}}, {{"title", "t"}, {"guid", "2"}}, false},
    };
    for (const auto& [name, stored, incoming, repeats] : cases) {
        SCOPED_TRACE(name);
        FeedItemIndex index;
        EXPECT_FALSE(index.contains(incoming));
        index.insert(stored);
        EXPECT_EQ(index.contains(incoming), repeats);
    }
}
