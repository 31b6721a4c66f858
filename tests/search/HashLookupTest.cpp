#include "engine/torrent/Metainfo.h"
#include "kit/ServiceAddresses.h"
#include "kit/TextHelpers.h"
#include "search/HashScraper.h"
#include "search/MagnetResolver.h"
#include "search/SearchFixture.h"
#include "support/WaitUntil.h"

#include <QSignalSpy>
#include <libxml/tree.h>

namespace ombrelay::test {
namespace {

using HashLookupTest = SearchTest;

const QByteArray kLookupHost = service::kWebSearchHost;


TEST(HashScraperLinks, LinksComeInDocumentOrderAndAVeryDeepTreeIsWalkedWithoutRecursion)
{
    // 100,000 nested elements, a link at each end: deeper than any recursive walk's stack.
    xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "html");
    xmlDocSetRootElement(doc, root);
    xmlNewProp(xmlNewChild(root, nullptr, BAD_CAST "a", nullptr), BAD_CAST "href", BAD_CAST " http://top.test/first.torrent ");
    xmlNodePtr parent = root;
    for (int i = 0; i < 100000; ++i)
        parent = xmlNewChild(parent, nullptr, BAD_CAST "div", nullptr);
    xmlNewProp(xmlNewChild(parent, nullptr, BAD_CAST "a", nullptr), BAD_CAST "href", BAD_CAST "/deep.torrent");
    for (const char* href : {"http://www.google.com/x", "http://m.youtube.com/v", "/search?q=cache:1", "", "last.html"})
        xmlNewProp(xmlNewChild(root, nullptr, BAD_CAST "a", nullptr), BAD_CAST "href", BAD_CAST href);
    xmlNewProp(xmlNewChild(root, nullptr, BAD_CAST "link", nullptr), BAD_CAST "href", BAD_CAST "/not-an-anchor");
    const QStringList links = HashScraper::linksFromElement(XmlElement(root), QUrl(QStringLiteral("http://base.test/q")));
    xmlFreeDoc(doc);
    EXPECT_EQ(links, (QStringList{QStringLiteral("http://top.test/first.torrent"),
                                  QStringLiteral("http://base.test/deep.torrent"),
                                  QStringLiteral("http://base.test/last.html")}));
}

// The candidates a lookup of `hash` hands on; it must complete exactly once.
QStringList candidates(const QByteArray& hash)
{
    HashScraper scraper(hash);
    QSignalSpy results(&scraper, &HashScraper::potentialResult);
    QSignalSpy done(&scraper, &HashScraper::didComplete);
    EXPECT_TRUE(waitUntil([&] { return done.count() > 0; }));
    spinFor(50);
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(scraper.runningPages(), 0);
    QStringList found;
    for (const QList<QVariant>& result : results)
        found.append(result.at(0).toString());
    return found;
}

TEST_F(HashLookupTest, CandidatesAreHandedOnOnceAndEveryLookupCompletes)
{
    const QByteArray hash(20, '\x11');
    proxy.route(kLookupHost, "/search", [&](const HttpTestRequest& r) {
        EXPECT_EQ(r.query, "q=" + hexString(hash).toLatin1());
        return page("<a href='http://a.test/1.torrent'></a><a href='http://a.test/1.torrent'></a>"
                    "<a href='http://b.test/2.torrent'></a>");
    });
    EXPECT_EQ(candidates(hash), (QStringList{"http://a.test/1.torrent", "http://b.test/2.torrent"}));

    // Other pages are scanned, each once; a failing one still ends.
    proxy.route(kLookupHost, "/search", page("<a href='http://p.test/one'></a><a href='http://p.test/dead'></a>"
                                             "<a href='http://p.test/one'></a>"));
    proxy.route("p.test", "/one", page("<a href='/found.torrent'>x</a>"));
    proxy.route("p.test", "/dead", HttpTestResponse{500, {}, ""});
    EXPECT_EQ(candidates(hash), QStringList{"http://p.test/found.torrent"});
    int pageRequests = 0;
    for (const HttpTestRequest& r : proxy.requests())
        pageRequests += r.host() == "p.test";
    EXPECT_EQ(pageRequests, 2);

    // The engine's own page failing completes too; without a valid hash nothing is asked at all.
    proxy.route(kLookupHost, "/search", HttpTestResponse{200, {}, {}, 0, false, 0});
    EXPECT_TRUE(candidates(hash).isEmpty());
    const int before = proxy.requestCount();
    EXPECT_TRUE(candidates("short").isEmpty());
    EXPECT_EQ(proxy.requestCount(), before);
}

TEST_F(HashLookupTest, AMagnetResolvesToTheCandidateWithItsInfoHash)
{
    const QByteArray right = torrentBytes("right");
    const QByteArray hash = Metainfo::read(right)->infoHash;
    proxy.route(kLookupHost, "/search", page("<a href='http://c.test/wrong.torrent'></a>"
                                             "<a href='http://c.test/right.torrent'></a>"
                                             "<a href='http://c.test/missing.torrent'></a>"));
    proxy.route("c.test", "/wrong.torrent", torrentFile(torrentBytes("wrong")));
    proxy.route("c.test", "/right.torrent", torrentFile(right));
    MagnetResolver resolver;
    QSignalSpy resolved(&resolver, &MagnetResolver::resolved);
    QSignalSpy unresolved(&resolver, &MagnetResolver::unresolved);
    resolver.start(QStringLiteral("magnet:?xt=urn:btih:") + hexString(hash) + QStringLiteral("&dn=x"));
    ASSERT_TRUE(waitUntil([&] { return resolved.count() + unresolved.count() > 0; }));
    ASSERT_EQ(resolved.count(), 1);
    EXPECT_EQ(resolved.at(0).at(0).toString(), QStringLiteral("http://c.test/right.torrent"));
    EXPECT_EQ(resolved.at(0).at(1).toByteArray(), right);

    MagnetResolver nothing;
    QSignalSpy nothingEnds(&nothing, &MagnetResolver::unresolved);
    proxy.route(kLookupHost, "/search", page("<a href='http://c.test/wrong.torrent'></a>"));
    nothing.start(QStringLiteral("magnet:?xt=urn:btih:") + hexString(hash));
    EXPECT_TRUE(waitUntil([&] { return nothingEnds.count() == 1; }));
}

}  // namespace
}  // namespace ombrelay::test
