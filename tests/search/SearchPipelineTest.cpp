#include "engine/core/TrackerService.h"
#include "engine/torrent/TorrentLine.h"
#include "engine/tracker/AnnouncePeers.h"
#include "engine/tracker/HttpTrackerService.h"
#include "kit/ServiceAddresses.h"
#include "kit/http/PZHTTPLoaderQueued.h"
#include "search/QueryController.h"
#include "search/SearchFixture.h"
#include "search/SearchSiteScraper.h"
#include "search/SearchSites.h"
#include "support/WaitUntil.h"

#include <QSignalSpy>
#include <QUrlQuery>

namespace ombrelay::test {
namespace {

const QVariantMap kItem{{QStringLiteral("name"), QStringLiteral(" big cat ")}};

class SearchPipelineTest : public SearchTest
{
protected:
    int requestsFor(const QByteArray& host, const QByteArray& path) const
    {
        int count = 0;
        for (const HttpTestRequest& r : proxy.requests())
            count += r.host() == host && r.path == path;
        return count;
    }

    static bool searchEnds(QueryController& controller, int timeoutMs = 8000)
    {
        return waitUntil([&] { return !controller.isActive(); }, timeoutMs);
    }
};

// Trackers for the swarm sizes of results; nothing announces here.
class NoPeers : public AnnouncePeers
{
public:
    QByteArray peerId(const TorrentLine&) override { return QByteArray(20, 'x'); }
    void addPeers(TorrentLine&, const QList<AnnounceReply::Peer>&) override {}
};

TEST_F(SearchPipelineTest, OneFetchPerLinkAndOneLinePerTorrent)
{
    useSites({userSite(QStringLiteral("One"), QStringLiteral("http://one.test/s?q=%@")),
              userSite(QStringLiteral("Two"), QStringLiteral("http://two.test/s?q=%@"))});
    proxy.route("one.test", "/s", page("<a href='http://files.test/a.torrent'>a</a>"
                                       "<a href='http://files.test/copy-of-a.torrent'>a</a>"
                                       "<a href='http://files.test/missing.torrent'>m</a>"
                                       "<a href='http://files.test/garbage.torrent'>g</a>"
                                       "<a href='http://files.test/huge.torrent'>h</a>"));
    // The public engines answer with a redirect first; links resolve against the address asked for.
    proxy.route("two.test", "/s", [](const HttpTestRequest& r) {
        EXPECT_EQ(r.query, "q=big%20cat");
        return HttpTestResponse::redirect("http://two.test/results/s2");
    });
    proxy.route("two.test", "/results/s2", [](const HttpTestRequest&) {
        return page("<a href='http://files.test/a.torrent'>a</a><a href='b.torrent'>b</a>");
    });
    proxy.route("files.test", "/a.torrent", torrentFile(torrentBytes("a")));
    proxy.route("files.test", "/copy-of-a.torrent", torrentFile(torrentBytes("a")));
    proxy.route("two.test", "/b.torrent", torrentFile(torrentBytes("b")));
    proxy.route("files.test", "/garbage.torrent", torrentFile("d4:infoi3ee"));
    proxy.route("files.test", "/huge.torrent", torrentFile(torrentBytes("huge") + QByteArray(16 << 20, ' ')));

    QueryController controller(kItem);
    QSignalSpy added(&controller, &QueryController::lineAdded);
    controller.performSearch();
    ASSERT_TRUE(searchEnds(controller));
    EXPECT_EQ(requestsFor("files.test", "/a.torrent"), 1);
    EXPECT_EQ(requestsFor("files.test", "/missing.torrent"), 1);
    QStringList names;
    for (const TorrentLinePtr& line : controller.lines())
        names.append(line->path());
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(added.count(), 2);
    EXPECT_EQ(controller.loadedAddresses().size(), 6);  // a file over 16 MiB is not asked for again

}

TEST_F(SearchPipelineTest, ThePagedWebSearchAsksElevenOffsetsAndThePlainQuery)
{
    useSites({}, {QStringLiteral("google")});
    QStringList starts;
    int withSuffix = 0;
    proxy.route(service::kWebSearchHost, "/search", [&](const HttpTestRequest& r) {
        const QUrlQuery query(QString::fromLatin1(r.query));
        starts.append(query.queryItemValue(QStringLiteral("start")));
        withSuffix += r.query.startsWith("q=big%20cat+ext:torrent&");
        return page("nothing here");
    });
    QueryController controller(kItem);
    controller.performSearch();
    ASSERT_TRUE(searchEnds(controller));
    starts.sort();
    EXPECT_EQ(starts, (QStringList{"0", "0", "10", "100", "20", "30", "40", "50", "60", "70", "80", "90"}));
    EXPECT_EQ(withSuffix, 11);
}

TEST_F(SearchPipelineTest, ThePostSiteGetsTheQueryInTheBody)
{
    useSites({}, {QLatin1String(service::kIndexSiteBIdentifier)});
    HttpTestRequest seen;
    proxy.route(service::kIndexSiteBHost, "/home/search", [&](const HttpTestRequest& r) {
        seen = r;
        return page("");
    });
    QueryController controller(kItem);
    controller.performSearch();
    ASSERT_TRUE(searchEnds(controller));
    EXPECT_EQ(seen.method, "POST");
    EXPECT_TRUE(seen.query.isEmpty());
    EXPECT_EQ(seen.body, "search[query]=big%20cat");
}

TEST_F(SearchPipelineTest, RefreshRefetchesPagesRetriesTimeOutsAndRescrapes)
{
    NoPeers peers;
    HttpTrackerService trackers(peers, [] { return quint16(6881); });
    TrackerService::install(&trackers);
    useSites({userSite(QStringLiteral("One"), QStringLiteral("http://one.test/s?q=%@")),
              userSite(QStringLiteral("Mute"), QStringLiteral("http://mute.test/s?q=%@"))});
    proxy.route("one.test", "/s", page("<a href='http://files.test/a.torrent'></a><a href='http://files.test/slow.torrent'></a>"));
    proxy.route("mute.test", "/s", HttpTestResponse{200, {}, {}, 0, true});
    proxy.route("files.test", "/a.torrent", torrentFile(torrentBytes("a", "http://tracker.test/announce")));
    bool slowAnswers = false;
    proxy.route("files.test", "/slow.torrent", [&](const HttpTestRequest&) {
        HttpTestResponse r = torrentFile(torrentBytes("slow"));
        r.silent = !slowAnswers;
        return r;
    });
    int scrapes = 0;
    proxy.route("tracker.test", "/scrape", [&](const HttpTestRequest&) {
        ++scrapes;
        return HttpTestResponse{200, {}, "d5:filesdee"};
    });

    QueryController controller(kItem);
    controller.setScrapesTrackers(true);
    controller.performSearch();
    ASSERT_TRUE(searchEnds(controller, 15000));  // the silent page and file time out
    EXPECT_EQ(controller.lines().size(), 1);
    EXPECT_FALSE(controller.loadedAddresses().contains(QStringLiteral("http://files.test/slow.torrent")));
    ASSERT_TRUE(waitUntil([&] { return scrapes == 1; }));

    slowAnswers = true;
    proxy.route("mute.test", "/s", page(""));
    controller.refreshContents();
    ASSERT_TRUE(searchEnds(controller));
    EXPECT_EQ(requestsFor("one.test", "/s"), 2);
    EXPECT_EQ(requestsFor("mute.test", "/s"), 2);
    EXPECT_EQ(requestsFor("files.test", "/a.torrent"), 1);
    EXPECT_EQ(requestsFor("files.test", "/slow.torrent"), 2);
    EXPECT_EQ(controller.lines().size(), 2);
    EXPECT_TRUE(waitUntil([&] { return scrapes == 2; }));
    TrackerService::install(nullptr);
}

TEST_F(SearchPipelineTest, ASiteSwitchedOffAndOnAgainKeepsItsResults)
{
    const QVariantMap one = userSite(QStringLiteral("One"), QStringLiteral("http://one.test/s?q=%@"));
    const QVariantMap two = userSite(QStringLiteral("Two"), QStringLiteral("http://two.test/s?q=%@"));
    useSites({one, two});
    proxy.route("one.test", "/s", page("<a href='http://files.test/a.torrent'></a>"));
    proxy.route("two.test", "/s", page("<a href='http://files.test/b.torrent'></a>"));
    proxy.route("files.test", "/a.torrent", torrentFile(torrentBytes("a")));
    proxy.route("files.test", "/b.torrent", torrentFile(torrentBytes("b")));
    QueryController controller(kItem);
    controller.performSearch();
    ASSERT_TRUE(searchEnds(controller));
    ASSERT_EQ(controller.lines().size(), 2);
    const int requests = proxy.requestCount();

    useSites({one});
    EXPECT_EQ(controller.scrapers().size(), 1);
    EXPECT_EQ(controller.lines().size(), 1);
    useSites({one, two});
    EXPECT_EQ(controller.scrapers().size(), 2);
    EXPECT_EQ(controller.lines().size(), 2);
    spinFor(100);
    EXPECT_EQ(proxy.requestCount(), requests);

    // An edited template is a new site: it is searched anew.
    QVariantMap edited = two;
    edited.insert(QStringLiteral("url"), QStringLiteral("http://two.test/s?again=%@"));
    useSites({one, edited});
    ASSERT_TRUE(proxy.waitForRequests(requests + 1));
    EXPECT_EQ(proxy.requests().last().query, "again=big%20cat");
}

TEST_F(SearchPipelineTest, ASiteFetchesAtMostAThousandTorrentsPerSearch)
{
    useSites({}, {QStringLiteral("bing")});  // four result pages of 500 distinct links each
    int pages = 0;
    proxy.route(service::kSecondWebSearchHost, "/search", [&](const HttpTestRequest&) {
        QByteArray links;
        for (int i = 0; i < 500; ++i)
            links += "<a href='http://files.test/" + QByteArray::number(pages * 500 + i) + ".torrent'></a>";
        ++pages;
        return page(links);
    });
    QueryController controller(kItem);
    controller.performSearch();
    ASSERT_TRUE(searchEnds(controller, 30000));
    EXPECT_EQ(pages, 4);
    EXPECT_EQ(proxy.requestCount(), 4 + SearchSiteScraper::kMaxFetchesPerRound);
    EXPECT_EQ(controller.loadedAddresses().size(), SearchSiteScraper::kMaxFetchesPerRound);
}

TEST_F(SearchPipelineTest, ClosingABusySearchFreesEveryQueuePlace)
{
    QList<QVariantMap> sites;
    for (int i = 0; i < 5; ++i)
        sites.append(userSite(QStringLiteral("S%1").arg(i), QStringLiteral("http://busy.test/s%1?q=%@").arg(i)));
    useSites(sites);
    QString links;
    for (int i = 0; i < 100; ++i) {
        links += QStringLiteral("<a href='http://files.test/%1.torrent'></a>").arg(i);
        proxy.route("files.test", "/" + QByteArray::number(i) + ".torrent", HttpTestResponse{200, {}, {}, 0, true});
    }
    proxy.route("busy.test", "/s0", page(links.toLatin1()));
    auto controller = std::make_unique<QueryController>(kItem);
    QSignalSpy activity(controller.get(), &QueryController::activityChanged);
    controller->performSearch();
    ASSERT_TRUE(waitUntil([] { return PZHTTPLoaderQueued::pendingLoaders() > 0; }));  // files answer silently
    EXPECT_GT(PZHTTPLoaderQueued::currentLoaders(), 0);
    controller->close();
    EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 0);
    EXPECT_EQ(PZHTTPLoaderQueued::pendingLoaders(), 0);
    EXPECT_FALSE(activity.last().at(0).toBool());
    controller.reset();
    spinFor(50);
    EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 0);
}

TEST_F(SearchPipelineTest, NoEnabledSiteIsSignalledShortlyAfterTheStart)
{
    useSites({});
    QueryController controller(kItem);
    QSignalSpy noSites(&controller, &QueryController::noSearchSites);
    controller.performSearch();
    EXPECT_EQ(noSites.count(), 0);
    EXPECT_TRUE(waitUntil([&] { return noSites.count() == 1; }, 2000));
    EXPECT_FALSE(controller.isActive());
}

}  // namespace
}  // namespace ombrelay::test
