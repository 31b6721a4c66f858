#include "engine/torrent/Metainfo.h"
#include "kit/ServiceAddresses.h"
#include "kit/TextHelpers.h"
#include "kit/XmlDocument.h"
#include "search/HashScraper.h"
#include "search/MagnetResolver.h"
#include "search/SearchFixture.h"
#include "support/WaitUntil.h"

#include <QSignalSpy>

namespace ombrelay::test {
namespace {

using HashLookupTest = SearchTest;

const QByteArray kLookupHost = service::kWebSearchHost;


TEST(HashScraperLinks, AVeryDeepPageIsWalkedWithoutRecursion)
{
    QByteArray html = "<html><body><a href='http://top.test/first.torrent'>a</a>";
    for (int i = 0; i < 10000; ++i)
        html += "<div>";
    html += "<a href='/deep.torrent'>b</a>";
    for (int i = 0; i < 10000; ++i)
        html += "</div>";
    html += "<a href='http://www.google.com/x'>c</a><a href='http://" + QByteArray(service::kVideoSiteDomain)
        + "/v'>v</a><a href='last.html'>d</a></body></html>";
    const XmlDocument document = XmlDocument::parse(html, XmlDocument::Syntax::Html, 8 << 20);
    ASSERT_TRUE(document.isValid());
    const QStringList links = HashScraper::linksFromElement(document.rootElement(), QUrl(QStringLiteral("http://base.test/q")));
    ASSERT_GE(links.size(), 2);
    EXPECT_EQ(links.first(), QStringLiteral("http://top.test/first.torrent"));
    EXPECT_EQ(links.last(), QStringLiteral("http://base.test/last.html"));
    for (const QString& link : links)
        EXPECT_TRUE(HashScraper::isValidAddress(link)) << qPrintable(link);
}

TEST_F(HashLookupTest, TorrentLinksOfTheAnswerAreHandedOnOnceThenItCompletes)
{
    const QByteArray hash(20, '\x11');
    proxy.route(kLookupHost, "/search", [&](const HttpTestRequest& r) {
        EXPECT_EQ(r.query, "q=" + hexString(hash).toLatin1());
        return page("<a href='http://a.test/1.torrent'></a><a href='http://a.test/1.torrent'></a>"
                    "<a href='http://b.test/2.torrent'></a>");
    });
    HashScraper scraper(hash);
    QSignalSpy results(&scraper, &HashScraper::potentialResult);
    QSignalSpy done(&scraper, &HashScraper::didComplete);
    ASSERT_TRUE(waitUntil([&] { return done.count() > 0; }));
    EXPECT_EQ(results.count(), 2);
    EXPECT_EQ(results.at(1).at(0).toString(), QStringLiteral("http://b.test/2.torrent"));
    EXPECT_EQ(scraper.runningPages(), 0);
}

TEST_F(HashLookupTest, OtherPagesAreScannedAndFailuresStillComplete)
{
    const QByteArray hash(20, '\x22');
    proxy.route(kLookupHost, "/search", page("<a href='http://p.test/one'></a><a href='http://p.test/dead'></a>"
                                             "<a href='http://p.test/one'></a>"));
    proxy.route("p.test", "/one", page("<a href='/found.torrent'>x</a>"));
    proxy.route("p.test", "/dead", HttpTestResponse{500, {}, ""});
    HashScraper scraper(hash);
    QSignalSpy results(&scraper, &HashScraper::potentialResult);
    QSignalSpy done(&scraper, &HashScraper::didComplete);
    ASSERT_TRUE(waitUntil([&] { return done.count() > 0; }));
    ASSERT_EQ(results.count(), 1);
    EXPECT_EQ(results.at(0).at(0).toString(), QStringLiteral("http://p.test/found.torrent"));
    int pageRequests = 0;
    for (const HttpTestRequest& r : proxy.requests())
        pageRequests += r.host() == "p.test";
    EXPECT_EQ(pageRequests, 2);  // the page linked twice is fetched once

    // The engine's own page failing completes too; without a valid hash nothing is asked at all.
    proxy.route(kLookupHost, "/search", HttpTestResponse{200, {}, {}, 0, false, 0});
    HashScraper broken(hash);
    QSignalSpy brokenDone(&broken, &HashScraper::didComplete);
    EXPECT_TRUE(waitUntil([&] { return brokenDone.count() == 1; }));
    const int before = proxy.requestCount();
    HashScraper none(QByteArray("short"));
    QSignalSpy noneDone(&none, &HashScraper::didComplete);
    EXPECT_TRUE(waitUntil([&] { return noneDone.count() == 1; }));
    spinFor(50);
    EXPECT_EQ(proxy.requestCount(), before);
    EXPECT_EQ(noneDone.count(), 1);
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
