#include "kit/AppPaths.h"
#include "kit/NotificationCenter.h"
#include "kit/PropertyList.h"
#include "kit/http/PZHTTPLoader.h"
#include "search/feeds/Feed.h"
#include "search/feeds/FeedStorage.h"
#include "search/RegisteredFeeds.h"
#include "search/SearchFixture.h"
#include "support/TestFiles.h"
#include "support/WaitUntil.h"

#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QByteArray rss(const QList<QByteArray>& guids)
{
    QByteArray body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>T</title>";
    for (const QByteArray& guid : guids)
        body += "<item><title>" + guid + "</title><guid>" + guid + "</guid></item>";
    return body + "</channel></rss>";
}

// Counts a feed's notifications by name.
struct FeedEvents
{
    QObject observer;
    QHash<QString, int> counts;
    explicit FeedEvents(Feed* feed)
    {
        for (const char* name : {"FeedWillLoadNotification", "FeedLoadErrorNotification", "FeedDataLoadedNotification"})
            NotificationCenter::defaultCenter().addObserver(
                &observer, QLatin1String(name), [this](const Notification& n) { ++counts[n.name]; }, feed);
    }
    int loaded() const { return counts.value("FeedDataLoadedNotification"); }
    int errors() const { return counts.value("FeedLoadErrorNotification"); }
    int ended() const { return loaded() + errors(); }
};

class FeedTest : public ProxiedTest
{
protected:
    void SetUp() override
    {
        ProxiedTest::SetUp();
        ASSERT_TRUE(data.isValid());
        AppPaths::setApplicationSupportPath(data.path());
    }
    void TearDown() override
    {
        removeRegisteredFeeds();
        ProxiedTest::TearDown();
        Feed::setClock({});
    }
    QList<HttpTestRequest> requestsFor(const QByteArray& path) const
    {
        QList<HttpTestRequest> found;
        for (const HttpTestRequest& r : proxy.requests())
            if (r.path == path)
                found.append(r);
        return found;
    }

    QTemporaryDir data;
};

}  // namespace

TEST_F(FeedTest, ConditionalFetchesKeepValidatorsOnlyFromWholeFeeds)
{
    int answer = 0;
    proxy.route("/rss", [&](const HttpTestRequest&) {
        ++answer;
        const HttpHeaders validators{{"Last-Modified", "Tue, 14 Nov 2023 10:00:00 GMT"}, {"ETag", "\"e1\""}};
        if (answer == 1)
            return HttpTestResponse{200, validators, rss({"a", "b"})};
        if (answer == 2)
            return HttpTestResponse{304, {}, {}};
        if (answer == 3) {
            HttpTestResponse cut{200, {{"Last-Modified", "Wed, 15 Nov 2023 10:00:00 GMT"}, {"ETag", "\"e2\""}},
                                 rss({"a", "b", "c"})};
            cut.closeAfterBytes = 200;  // headers and part of the body
            return cut;
        }
        return HttpTestResponse{200, {}, rss({"a", "b", "c"})};
    });
    Feed* feed = Feed::feedWithAddress("feed://feeds.test/rss");
    FeedEvents events(feed);
    EXPECT_EQ(feed->address(), "http://feeds.test/rss");
    ASSERT_TRUE(waitUntil([&] { return events.ended() == 1; }));
    EXPECT_EQ(feed->items().size(), 2);
    EXPECT_EQ(events.counts.value("FeedWillLoadNotification"), 1);
    EXPECT_TRUE(feed->isValidFeed());

    for (int fetch = 2; fetch <= 4; ++fetch) {
        feed->loadFeed();
        ASSERT_TRUE(waitUntil([&] { return events.ended() == fetch; }));
    }
    EXPECT_EQ(events.errors(), 1);  // the cut answer
    EXPECT_EQ(feed->items().size(), 3);
    const QList<HttpTestRequest> requests = requestsFor("/rss");
    ASSERT_EQ(requests.size(), 4);
    EXPECT_FALSE(requests[0].hasHeader("If-Modified-Since"));
    EXPECT_FALSE(requests[0].hasHeader("If-None-Match"));
    for (int i : {1, 2, 3}) {  // the 304 and the cut answer left the first validators in place
        EXPECT_EQ(requests[i].header("If-Modified-Since"), "Tue, 14 Nov 2023 10:00:00 GMT") << i;
        EXPECT_EQ(requests[i].header("If-None-Match"), "\"e1\"") << i;
    }
    for (const HttpTestRequest& r : requests) {
        EXPECT_EQ(r.header("User-Agent"), PZHTTPLoader::applicationUserAgent());
        EXPECT_FALSE(r.hasHeader("Cookie"));
        EXPECT_EQ(r.header("Accept-Encoding"), "identity,gzip,deflate");
    }
    // The last full answer had no validators: none are sent after it, nor after a refresh.
    feed->refresh();
    ASSERT_TRUE(waitUntil([&] { return events.ended() == 5; }));
    EXPECT_FALSE(requestsFor("/rss").last().hasHeader("If-None-Match"));
}

TEST_F(FeedTest, FailedAndRefusedFetchesLeaveTheItems)
{
    proxy.route("/gone", HttpTestResponse{404, {}, rss({"x"})});
    proxy.route("/error", HttpTestResponse{503, {}, "busy"});
    proxy.route("/file", HttpTestResponse::redirect("file:///etc/passwd"));
    proxy.route("/huge", HttpTestResponse{200, {}, rss({QByteArray(9 << 20, 'x')})});
    proxy.route("/html", HttpTestResponse{200, {{"Content-Type", "text/html"}}, "<html><body>hi</body></html>"});
    // A load error, or else "loaded" with nothing taken in.
    const std::pair<const char*, bool> cases[] = {{"/gone", true}, {"/error", true}, {"/file", true}, {"/huge", true},
                                                  {"/html", false}};
    for (const auto& [path, loadError] : cases) {
        SCOPED_TRACE(path);
        Feed* feed = Feed::feedWithAddress(QStringLiteral("http://feeds.test") + path);
        FeedEvents events(feed);
        ASSERT_TRUE(waitUntil([&] { return events.ended() == 1; }));
        EXPECT_EQ(events.errors(), loadError ? 1 : 0);
        EXPECT_TRUE(feed->items().isEmpty());
        EXPECT_FALSE(feed->isValidFeed());
        EXPECT_TRUE(feed->etag().isEmpty());
    }
}

TEST_F(FeedTest, QuitSaveMarksReadAndDropsWeekOldItems)
{
    QDateTime now = QDateTime::currentDateTimeUtc().addDays(-8);
    Feed::setClock([&] { return now; });
    int answer = 0;
    proxy.route("/rss", [&](const HttpTestRequest&) {
        return HttpTestResponse{200, {}, ++answer == 1 ? rss({"old"}) : rss({"old", "fresh"})};
    });
    Feed* feed = Feed::feedWithAddress("http://www.feeds.test/rss?x=1");
    FeedEvents events(feed);
    ASSERT_TRUE(waitUntil([&] { return events.ended() == 1; }));
    now = QDateTime::currentDateTimeUtc();
    feed->loadFeed();
    ASSERT_TRUE(waitUntil([&] { return events.ended() == 2; }));
    ASSERT_EQ(feed->items().size(), 2);
    EXPECT_TRUE(feed->items().at(1)->isNew());

    const QString path = QDir(data.path()).filePath("Storage/feeds.test-rss-x=1");
    EXPECT_EQ(feed->storageFilePath(), path);
    // Fetches that add items are saved soon after, as they are.
    ASSERT_TRUE(waitUntil([&] { return FeedStorage::read(path).size() == 2; }, 5000));
    // So are read marks, without the quit-time marking of the rest.
    feed->items().at(0)->setValue("isNew", false);
    ASSERT_TRUE(waitUntil([&] { return FeedStorage::read(path).value(0).value("isNew") == QVariant(false); }));
    EXPECT_EQ(FeedStorage::read(path).value(1).value("isNew"), "1");
    feed->saveFeedToDisk();
    const QList<QVariantMap> stored = FeedStorage::read(path);
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0].value("guid"), "fresh");
    EXPECT_EQ(stored[0].value("isNew"), "0");
    ASSERT_EQ(feed->items().size(), 1);
    EXPECT_FALSE(feed->items().at(0)->isNew());
}

TEST_F(FeedTest, StoredItemsComeBackWithWrongTypesDropped)
{
    const QString address = "http://feeds.test/stored";
    const QDateTime added = QDateTime::currentDateTimeUtc();
    QVariantList items{QVariantMap{{"guid", "s1"}, {"title", 42}, {"dateAdded", added}, {"isNew", true}},
                       QString("not an item"), QVariantMap{{"guid", "s2"}, {"date", "yesterday"}}};
    ASSERT_TRUE(QDir().mkpath(FeedStorage::storageFolder()));
    ASSERT_TRUE(PropertyList::write(FeedStorage::storageFilePath(address), items));
    proxy.route("/stored", HttpTestResponse{200, {}, rss({"s1", "s3"})});
    Feed* feed = Feed::feedWithAddress(address);
    FeedEvents events(feed);
    ASSERT_TRUE(waitUntil([&] { return events.ended() == 1; }));
    ASSERT_EQ(feed->items().size(), 3);
    EXPECT_FALSE(feed->items().at(0)->values().contains("title"));
    EXPECT_TRUE(feed->items().at(0)->isNew());
    EXPECT_FALSE(feed->items().at(1)->values().contains("date"));
    EXPECT_EQ(feed->items().at(2)->string("guid"), "s3");
}

TEST_F(FeedTest, TrialsAndRemovedFeedsLeaveNoFiles)
{
    proxy.route("/a", HttpTestResponse{200, {}, rss({"x"})});
    std::unique_ptr<Feed> trial = Feed::trialFeed("http://feeds.test/a");
    FeedEvents trialEvents(trial.get());
    EXPECT_TRUE(trial->isTempFeed());
    trial->loadFeed();
    ASSERT_TRUE(waitUntil([&] { return trialEvents.ended() == 1; }));
    EXPECT_EQ(trial->items().size(), 1);
    trial->saveFeedToDisk();
    EXPECT_FALSE(QFile::exists(trial->storageFilePath()));
    // The subscribed feed of the same address is another object and stays subscribed.
    Feed* feed = Feed::feedWithAddress("http://feeds.test/a");
    EXPECT_NE(feed, trial.get());
    EXPECT_FALSE(feed->isTempFeed());

    // Two addresses that share a file name: removing one keeps the other's file.
    Feed* twin = Feed::feedWithAddress("http://www.feeds.test/a");
    EXPECT_EQ(twin->storageFilePath(), feed->storageFilePath());
    ASSERT_TRUE(waitUntil([&] { return twin->hasLoadedStoredItems(); }));
    twin->saveFeedToDisk();
    ASSERT_TRUE(QFile::exists(feed->storageFilePath()));
    Feed::removeFeedWithAddress("http://www.feeds.test/a");
    spinFor(200);
    EXPECT_TRUE(QFile::exists(feed->storageFilePath()));

    // A feed removed inside its own notification: its file goes and it fetches no more.
    const QString path = feed->storageFilePath();
    QObject observer;
    NotificationCenter::defaultCenter().addObserver(&observer, "FeedDataLoadedNotification", [&](const Notification&) {
        Feed::removeFeedWithAddress("http://feeds.test/a");
    }, feed);
    QPointer<Feed> watched(feed);
    feed->loadFeed();
    ASSERT_TRUE(waitUntil([&] { return watched.isNull(); }));
    ASSERT_TRUE(waitUntil([&] { return !QFile::exists(path); }));
    EXPECT_TRUE(Feed::registeredFeeds().isEmpty());
}

TEST_F(FeedTest, OldestItemsGoBeyondTheCountAndTextLimits)
{
    int answer = 0;
    const QByteArray text(3'500'000, 'd');  // 7 MB as text in memory: three of them pass 16 MiB
    proxy.route("/big", [&](const HttpTestRequest&) {
        ++answer;
        return HttpTestResponse{200, {}, rss({}).replace("</channel>", "<item><guid>" + QByteArray::number(answer)
                                                     + "</guid><description>" + text + "</description></item></channel>")};
    });
    QList<QByteArray> many;
    for (int i = 0; i < Feed::kMaxItems; ++i)
        many.append("m" + QByteArray::number(i));
    proxy.route("/many", [&](const HttpTestRequest&) {
        const HttpTestResponse response{200, {}, rss(many)};
        many.prepend("extra");  // newest first, as feeds list them
        return response;
    });
    // Path, fetches, first guid after the last fetch, items kept.
    const std::tuple<const char*, int, QString, qsizetype> cases[] = {{"/big", 3, "2", 2},
                                                                      {"/many", 2, "m1", Feed::kMaxItems}};
    for (const auto& [path, fetches, firstGuid, count] : cases) {
        SCOPED_TRACE(path);
        std::unique_ptr<Feed> feed = Feed::trialFeed(QStringLiteral("http://feeds.test") + path);
        FeedEvents events(feed.get());
        for (int fetch = 1; fetch <= fetches; ++fetch) {
            feed->loadFeed();
            ASSERT_TRUE(waitUntil([&] { return events.ended() == fetch; }, 30000));
        }
        EXPECT_EQ(events.errors(), 0);
        ASSERT_EQ(feed->items().size(), count);
        EXPECT_EQ(feed->items().first()->string("guid"), firstGuid);
    }
}

TEST(FeedAddressTest, OnlyALeadingFeedSchemeIsRewritten)
{
    const QList<QPair<QString, QString>> cases = {
        {"feed://feeds.test/rss", "http://feeds.test/rss"},
        {"feed:https://feeds.test/rss", "https://feeds.test/rss"},
        {"feed:http://feeds.test/rss", "http://feeds.test/rss"},
        {"http://feeds.test/feed:x", "http://feeds.test/feed:x"},
        {"https://feeds.test/rss", "https://feeds.test/rss"},
    };
    for (const auto& [given, fetched] : cases)
        EXPECT_EQ(Feed::trialFeed(given)->address(), fetched) << qPrintable(given);
}

TEST(FeedStorageTest, FriendlyFileNames)
{
    // Address, file name (empty: hashed).
    const std::pair<QString, QString> cases[] = {
        {"http://www.feeds.test/feed?x=1", "feeds.test-feed-x=1"},
        {"https://feeds.test/a/b", "https:--feeds.test-a-b"},
        {"http://", ""},
        {"http://.", ""},
        {"http://..", ""},
        {"http://feeds.test/" + QString(200, 'a'), ""},
    };
    for (const auto& [address, expected] : cases) {
        SCOPED_TRACE(qPrintable(address));
        const QString name = FeedStorage::friendlyFileName(address);
        if (expected.isEmpty())
            EXPECT_TRUE(QRegularExpression("^[0-9a-f]{40}$").match(name).hasMatch()) << qPrintable(name);
        else
            EXPECT_EQ(name, expected);
    }
}
