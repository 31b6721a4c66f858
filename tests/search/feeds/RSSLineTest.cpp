#include "kit/NotificationCenter.h"
#include "kit/PZCrypto.h"
#include "kit/SerialQueue.h"
#include "kit/ServiceAddresses.h"
#include "search/feeds/Feed.h"
#include "search/feeds/RSSLine.h"
#include "search/feeds/RSSLineCache.h"
#include "search/feeds/RSSTorrentCache.h"
#include "search/feeds/RSSTorrentFetchQueue.h"
#include "search/SearchFixture.h"
#include "support/TestFiles.h"
#include "support/UrlRecorder.h"
#include "support/WaitUntil.h"

#include <QTemporaryDir>
#include <atomic>
#include <future>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

FeedItemPtr item(const QVariantMap& values)
{
    auto made = std::make_shared<FeedItem>(values);
    made->joinFeed({});
    return made;
}

class RSSLineTest : public ProxiedTest
{
protected:
    void SetUp() override
    {
        ProxiedTest::SetUp();
        ASSERT_TRUE(cache.isValid());
        root = cache.path() + QStringLiteral("/RSSTorrentCache");
        RSSTorrentCache::setCachePathForTesting(root);
        ASSERT_EQ(RSSTorrentCache::cachePath(), root);
        RSSTorrentCache::queue().drain();  // the new folder's pruning, before the test writes into it
        Feed::setClock([this] { return now; });
    }
    void TearDown() override
    {
        Feed::setClock({});
        RSSTorrentCache::setCachePathForTesting({});
        ProxiedTest::TearDown();
    }
    int requestsFor(const QByteArray& path) const
    {
        const QList<HttpTestRequest> requests = proxy.requests();
        return int(std::count_if(requests.begin(), requests.end(), [&](const HttpTestRequest& r) { return r.path == path; }));
    }

    QTemporaryDir cache;
    QString root;
    QDateTime now = QDateTime::currentDateTimeUtc();
};

}  // namespace

TEST_F(RSSLineTest, TorrentAddressesAndTheirCachePaths)
{
    const QString query = PZCrypto::base64String(PZCrypto::sha1(QByteArray("id=5"))).replace("/", "sl");
    const QString longName(250, 'n');
    const auto hashed = [](const char* address) {
        return "h.test/" + QString::fromLatin1(PZCrypto::sha1(QByteArray(address)).toHex()) + ".torrent";
    };
    struct Case
    {
        const char* name;
        QVariantMap values;
        QString address;
        QString cachePath;  // below the cache folder; empty: none
    };
    const QList<Case> cases = {
        {"torrent enclosure before a torrent link",
         {{"enclosureType", "application/x-bittorrent"}, {"enclosureURL", "http://h.test/e.torrent"},
          {"link", "http://h.test/l.torrent"}},
         "http://h.test/e.torrent", "h.test/e.torrent"},
        {"other enclosure, torrent link", {{"enclosureType", "audio/mpeg"}, {"enclosureURL", "http://h.test/a.mp3"},
                                           {"link", "http://h.test/files/a.torrent?id=5"}},
         "http://h.test/files/a.torrent?id=5", "h.test/files/a.torrent/" + query + ".torrent"},
        {"index site detail page", {{"link", QString(service::kFeedIndexSitePrefix) + "123/name"}},
         QString(service::kFeedIndexSitePrefix).replace("/tor/", "/get/") + "123/name",
         "feed-index.invalid/get/123/name.torrent"},
        {"upper-case extension", {{"link", "http://h.test/a.TORRENT"}}, "", ""},
        {"plain page", {{"link", "http://h.test/page"}}, "", ""},
        {"magnet enclosure", {{"enclosureType", "application/x-bittorrent"}, {"enclosureURL", "magnet:?xt=urn:btih:00"}},
         "magnet:?xt=urn:btih:00", ""},
        {"file link", {{"link", "file:///etc/a.torrent"}}, "file:///etc/a.torrent", ""},
        {"dot segments", {{"link", "http://h.test/a/../../.././b/./c.torrent"}}, "http://h.test/a/../../.././b/./c.torrent",
         "h.test/a/b/c.torrent"},
        {"escaped dot segments", {{"link", "http://h.test/%2e%2e/%2E%2E/x.torrent"}},
         "http://h.test/%2e%2e/%2E%2E/x.torrent", "h.test/x.torrent"},
        {"escaped slash stays escaped", {{"link", "http://h.test/a%2Fb.torrent"}}, "http://h.test/a%2Fb.torrent",
         "h.test/a%2Fb.torrent"},
        {"empty components", {{"link", "http://h.test//a///b.torrent"}}, "http://h.test//a///b.torrent",
         "h.test/a/b.torrent"},
        {"long component", {{"link", "http://h.test/" + longName + ".torrent"}}, "http://h.test/" + longName + ".torrent",
         hashed(qPrintable("http://h.test/" + longName + ".torrent"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RSSLinePtr line = RSSLine::rssLineForItem(item(c.values));
        EXPECT_EQ(line->torrentAddress(), c.address);
        const QString path = line->torrentStoragePath();
        if (c.cachePath.isEmpty()) {
            EXPECT_TRUE(path.isEmpty()) << qPrintable(path);
            continue;
        }
        EXPECT_EQ(path, root + "/" + c.cachePath);
        EXPECT_TRUE(RSSTorrentCache::isInside(path, root));
    }
}

TEST_F(RSSLineTest, FetchOutcomes)
{
    int busy = 1;
    proxy.route("/ok.torrent", HttpTestResponse{200, {}, torrentBytes("ok")});
    proxy.route("/page.torrent", HttpTestResponse{200, {{"Content-Type", "text/html"}}, "<html>login</html>"});
    proxy.route("/later.torrent", [&](const HttpTestRequest&) {
        return busy-- > 0 ? HttpTestResponse{503, {}, torrentBytes("later")} : HttpTestResponse{200, {}, torrentBytes("later")};
    });
    proxy.route("/moved.torrent", HttpTestResponse::redirect("http://t.test/ok.torrent"));
    // Path, whether it gives a torrent (else it failed), attempts: the 503 is tried again.
    const std::tuple<const char*, bool, int> cases[] = {
        {"/ok.torrent", true, 1}, {"/moved.torrent", true, 1}, {"/page.torrent", false, 1}, {"/later.torrent", true, 2}};
    for (const auto& [path, torrent, attempts] : cases) {
        SCOPED_TRACE(path);
        const RSSLinePtr line = RSSLine::rssLineForItem(item({{"link", QString("http://t.test") + path}}));
        int leafChanges = 0;
        QObject::connect(line.get(), &RSSLine::leafStateChanged, [&] { ++leafChanges; });
        for (int attempt = 1; attempt <= attempts; ++attempt) {
            now = now.addSecs(RSSLine::kFirstRetryPauseSecs);
            line->loadTorrentEnclosure();
            EXPECT_TRUE(line->isFetching());
            ASSERT_TRUE(waitUntil([&] { return !line->isFetching(); }));
            EXPECT_EQ(leafChanges, attempt);
        }
        EXPECT_EQ(line->isRSSArticleLine(), !torrent);
        EXPECT_EQ(line->hasFailed(), !torrent);
        EXPECT_EQ(QFile::exists(line->torrentStoragePath()), torrent);
        if (torrent) {
            EXPECT_EQ(line->torrentPath(), line->torrentStoragePath());
            EXPECT_EQ(line->torrentData(), readFile(line->torrentStoragePath()));
            EXPECT_NE(line->path(), "");
        }
        // A failed line never tries again; a torrent needs no fetch.
        const int requests = proxy.requestCount();
        line->loadTorrentEnclosure();
        EXPECT_FALSE(line->isFetching());
        spinFor(50);
        EXPECT_EQ(proxy.requestCount(), requests);
    }
}

// A fetched torrent is decoded once, on the cache's queue, and the line takes that: the main thread reads
// nothing back, so a cache file changed before the line gets to it changes nothing.
TEST_F(RSSLineTest, AFetchedTorrentIsTakenAsTheCacheQueueDecodedIt)
{
    proxy.route("/fresh.torrent", HttpTestResponse{200, {}, torrentBytes("fresh")});
    const RSSLinePtr line = RSSLine::rssLineForItem(item({{"link", "http://t.test/fresh.torrent"}}));
    QFile::remove(line->torrentStoragePath());  // fetched, whatever ran before
    SerialQueue& queue = RSSTorrentCache::queue();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> holding = false;
    line->loadTorrentEnclosure();  // the cache look-up goes first
    queue.post(nullptr, [&holding, released] {
        holding = true;
        released.wait();
    });
    // The answer's check and write wait behind the held job.
    const bool answered = waitUntil([&] { return holding && queue.pendingCount() == 2; }, 10000);  // held and queued
    const QString path = line->torrentStoragePath();
    queue.post(nullptr, [path] { writeFile(path, "<html>gone</html>"); });
    release.set_value();
    ASSERT_TRUE(answered);
    queue.drain();  // the main thread hears of the write only after the file changed
    ASSERT_TRUE(waitUntil([&] { return !line->isFetching(); }));
    EXPECT_FALSE(line->hasFailed());
    EXPECT_FALSE(line->isRSSArticleLine());
    EXPECT_EQ(line->path(), QStringLiteral("fresh"));
    EXPECT_EQ(line->torrentPath(), path);
}

// A final client error fails the line at once; a server error or a throttled answer is tried again a few
// times, each after a longer pause, however often the line is shown meanwhile.
TEST_F(RSSLineTest, ClientErrorsFailForGoodAndPassingFailuresAreRetriedAFewTimes)
{
    proxy.route("/gone.torrent", HttpTestResponse{404, {}, "gone"});
    proxy.route("/denied.torrent", HttpTestResponse{403, {}, "no"});
    proxy.route("/moved-away.torrent", HttpTestResponse::redirect("http://t.test/gone.torrent"));
    proxy.route("/broken.torrent", HttpTestResponse{500, {}, "oops"});
    proxy.route("/busy.torrent", HttpTestResponse{503, {}, "busy"});
    proxy.route("/throttled.torrent", HttpTestResponse{429, {}, "slow down"});
    const int tries = 1 + RSSLine::kMaxRetries;
    // Path and the fetches it gets in all.
    const std::pair<QByteArray, int> cases[] = {{"/gone.torrent", 1},   {"/denied.torrent", 1},
                                                {"/moved-away.torrent", 1}, {"/broken.torrent", tries},
                                                {"/busy.torrent", tries}, {"/throttled.torrent", tries}};
    for (const auto& [path, fetches] : cases) {
        SCOPED_TRACE(path.constData());
        const RSSLinePtr line = RSSLine::rssLineForItem(item({{"link", "http://t.test" + QString::fromLatin1(path)}}));
        const int before = requestsFor(path);
        qint64 pause = RSSLine::kFirstRetryPauseSecs;
        for (int shown = 0; shown < tries + 2; ++shown) {
            line->loadTorrentEnclosure();
            ASSERT_TRUE(waitUntil([&] { return !line->isFetching(); }));
            line->loadTorrentEnclosure();
            EXPECT_FALSE(line->isFetching()) << "at once again";
            now = now.addSecs(pause - 1);
            line->loadTorrentEnclosure();
            EXPECT_FALSE(line->isFetching()) << "before the pause is over";
            now = now.addSecs(1);
            pause *= 2;
        }
        EXPECT_EQ(requestsFor(path) - before, fetches);
        EXPECT_TRUE(line->hasFailed());
        EXPECT_TRUE(line->isRSSArticleLine());
    }
}

TEST_F(RSSLineTest, FiftyLinesFetchEightAtATimeAndComeBackFromTheCache)
{
    for (int i = 0; i < 50; ++i) {
        HttpTestResponse response{200, {}, torrentBytes("t" + QByteArray::number(i))};
        response.delayMs = 50;
        proxy.route(QByteArray("/many/") + QByteArray::number(i) + ".torrent", response);
    }
    const auto lines = [] {
        QList<RSSLinePtr> made;
        for (int i = 0; i < 50; ++i)
            made.append(RSSLine::rssLineForItem(item({{"link", QString("http://t.test/many/%1.torrent").arg(i)}})));
        return made;
    };
    const QList<RSSLinePtr> first = lines();
    for (const RSSLinePtr& line : first)
        line->loadTorrentEnclosure();
    // Once the cache has answered that none is there.
    EXPECT_TRUE(waitUntil([] { return RSSTorrentFetchQueue::instance().runningCount() == RSSTorrentFetchQueue::kMaxRunning; }));
    ASSERT_TRUE(waitUntil([&] {
        return std::none_of(first.begin(), first.end(), [](const RSSLinePtr& l) { return l->isRSSArticleLine(); });
    }, 20000));
    EXPECT_EQ(proxy.requestCount(), 50);
    EXPECT_LE(proxy.maxOpenRequests(), RSSTorrentFetchQueue::kMaxRunning);
    // Newest first: the last line asked was among the first fetched.
    EXPECT_EQ(proxy.requests().at(RSSTorrentFetchQueue::kMaxRunning).path, "/many/49.torrent");

    // As after a restart: new items and lines find their torrents in the cache, read on the cache's
    // queue rather than while the list asks.
    const QList<RSSLinePtr> again = lines();
    for (const RSSLinePtr& line : again) {
        EXPECT_EQ(std::count(first.begin(), first.end(), line), 0);
        line->loadTorrentEnclosure();
        EXPECT_TRUE(line->isRSSArticleLine()) << "read on the main thread";
        EXPECT_TRUE(line->isFetching());
    }
    ASSERT_TRUE(waitUntil([&] {
        return std::none_of(again.begin(), again.end(), [](const RSSLinePtr& l) { return l->isRSSArticleLine(); });
    }, 10000));
    for (const RSSLinePtr& line : again)
        EXPECT_FALSE(line->isFetching());
    spinFor(50);
    EXPECT_EQ(proxy.requestCount(), 50);
}

// What a restart finds in the cache: metainfo makes a torrent, anything else fails the line and goes.
TEST_F(RSSLineTest, CachedFilesBecomeTorrentsOrFailWithoutAFetch)
{
    const std::tuple<const char*, QByteArray, bool> cases[] = {
        {"/cached/good.torrent", torrentBytes("good"), true}, {"/cached/bad.torrent", "<html>", false}};
    for (const auto& [path, bytes, torrent] : cases) {
        SCOPED_TRACE(path);
        const RSSLinePtr line = RSSLine::rssLineForItem(item({{"link", QString("http://c.test") + path}}));
        ASSERT_TRUE(writeFile(line->torrentStoragePath(), bytes));
        line->loadTorrentEnclosure();
        ASSERT_TRUE(waitUntil([&] { return !line->isFetching(); }));
        EXPECT_EQ(line->isRSSArticleLine(), !torrent);
        EXPECT_EQ(line->hasFailed(), !torrent);
        EXPECT_EQ(QFile::exists(line->torrentStoragePath()), torrent);
    }
    spinFor(50);
    EXPECT_EQ(proxy.requestCount(), 0);
}

TEST_F(RSSLineTest, LinesAreFoundByItemIdentityUntilTheItemLeavesItsFeed)
{
    const FeedItemPtr a = item({{"title", "same"}});
    const FeedItemPtr b = item({{"title", "same"}});
    const RSSLinePtr line = RSSLine::rssLineForItem(a);
    EXPECT_EQ(RSSLine::rssLineForItem(a), line);
    EXPECT_NE(RSSLine::rssLineForItem(b), line);
    EXPECT_EQ(RSSLine::rssLineForItem(nullptr), nullptr);
    const qsizetype count = RSSLineCache::instance().count();
    a->leaveFeed();
    EXPECT_NE(RSSLine::rssLineForItem(b), nullptr);
    EXPECT_EQ(RSSLineCache::instance().count(), count - 1);

    // Read marks go into the shared item as a boolean; text marks read alike.
    EXPECT_FALSE(line->isNew());
    b->setValue("isNew", "1");
    EXPECT_TRUE(RSSLine::rssLineForItem(b)->isNew());
    RSSLine::rssLineForItem(b)->markAsRead();
    EXPECT_EQ(b->value("isNew"), QVariant(false));
}

TEST_F(RSSLineTest, ArticlesOpenTheirPageByModifier)
{
    UrlRecorder browser;
    QList<QPair<QUrl, bool>> tabs;
    const RSSLinePtr line = RSSLine::rssLineForItem(item({{"title", "t"}, {"link", "http://page.test/a"}, {"isNew", "1"}}));
    const RSSLinePtr script = RSSLine::rssLineForItem(item({{"link", "javascript:alert(1)"}}));
    int readNotices = 0;
    QObject observer;
    NotificationCenter::defaultCenter().addObserver(&observer, "RSSLineReadStatusUpdated",
                                                    [&](const Notification&) { ++readNotices; });

    line->performActionWithModifiers(Qt::NoModifier);  // no tab opener: the browser
    RSSLine::setWebTabOpener([&](const QUrl& url, bool select) { tabs.append({url, select}); });
    line->performActionWithModifiers(Qt::AltModifier);
    line->performActionWithModifiers(Qt::NoModifier);
    line->performActionWithModifiers(Qt::ControlModifier);
    script->performActionWithModifiers(Qt::AltModifier);
    script->performActionWithModifiers(Qt::NoModifier);
    RSSLine::setWebTabOpener({});

    EXPECT_EQ(browser.opened, QList<QUrl>({QUrl("http://page.test/a"), QUrl("http://page.test/a")}));
    ASSERT_EQ(tabs.size(), 2);
    EXPECT_TRUE(tabs[0].second);
    EXPECT_FALSE(tabs[1].second);  // Ctrl: in the background
    EXPECT_EQ(readNotices, 6);
    EXPECT_TRUE(line->isNew());  // acting leaves the mark to the pane
}

TEST(RSSTorrentCacheTest, FilesUnusedForThirtyDaysArePruned)
{
    QTemporaryDir dir;
    const QString root = dir.filePath("RSSTorrentCache");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // File, age in days, kept.
    const std::tuple<const char*, int, bool> cases[] = {
        {"old.test/a.torrent", 31, false}, {"old.test/deep/b.torrent", 40, false},
        {"mixed.test/c.torrent", 29, true}, {"mixed.test/d.torrent", 31, false}};
    for (const auto& [name, ageDays, kept] : cases) {
        const QString path = QDir(root).filePath(name);
        ASSERT_TRUE(writeFile(path, "d8:announce0:e"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(now.addDays(-ageDays), QFileDevice::FileModificationTime));
    }
    RSSTorrentCache::pruneUnusedFiles(root, now.addSecs(-RSSTorrentCache::kUnusedLifetimeSeconds));
    for (const auto& [name, ageDays, kept] : cases)
        EXPECT_EQ(QFile::exists(QDir(root).filePath(name)), kept) << name;
    EXPECT_FALSE(QFileInfo::exists(QDir(root).filePath("old.test")));  // emptied folders go too
    EXPECT_TRUE(QFileInfo::exists(root));
}
