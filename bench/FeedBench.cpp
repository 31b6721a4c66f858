// Feeds: a 10,000-entry RSS 2.0 feed (about 5 MiB) fetched on loopback, parsed and merged into an empty
// feed and into its own items; a 304 answer; saving and reading 10,000 items; opening a site-icon
// database of 1,000 icons. The "main_gap_ms" counter is the longest the main loop went without turning
// during a fetch.
#include "kit/NotificationCenter.h"
#include "search/feeds/Feed.h"
#include "search/feeds/FeedStorage.h"
#include "search/icons/FaviconStorage.h"
#include "support/HttpTestServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QByteArray bigFeed(int entries)
{
    QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss version=\"2.0\"><channel><title>Big</title>";
    const QByteArray text = QByteArray("Lorem ipsum dolor sit amet, consectetur adipiscing elit. ").repeated(6);
    for (int i = 0; i < entries; ++i) {
        const QByteArray n = QByteArray::number(i);
        body += "<item><title>Entry " + n + " &amp; more</title><link>http://feeds.test/e/" + n + "</link><guid>g-" + n
              + "</guid><pubDate>Tue, 14 Nov 2023 10:00:00 GMT</pubDate><description>" + text
              + "</description><enclosure url=\"http://feeds.test/t/" + n
              + ".torrent\" type=\"application/x-bittorrent\" length=\"12345\"/></item>";
    }
    return body + "</channel></rss>";
}

struct FeedServer
{
    HttpTestServer server;
    FeedServer(const HttpTestResponse& response)
    {
        server.listen();
        server.route("/rss", response);
        qputenv("http_proxy", server.url("/").adjusted(QUrl::RemovePath).toEncoded());
    }
};

// One fetch of the feed, with the longest main-loop gap seen meanwhile.
double fetch(Feed& feed, bool full)
{
    QEventLoop loop;
    QObject observer;
    NotificationCenter::defaultCenter().addObserver(&observer, "FeedDataLoadedNotification",
                                                    [&](const Notification&) { loop.quit(); }, &feed);
    QElapsedTimer gap;
    double longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, gap.nsecsElapsed() / 1e6);
        gap.restart();
    });
    ticker.start(1);
    gap.start();
    if (full)
        feed.refresh();
    else
        feed.loadFeed();
    loop.exec();
    return longest;
}

void runFetches(benchmark::State& state, Feed& feed, bool full)
{
    double longest = 0;
    for (auto _ : state)
        longest = std::max(longest, fetch(feed, full));
    state.counters["main_gap_ms"] = longest;
    state.counters["items"] = double(feed.items().size());
}

void BM_FetchIntoEmptyFeed(benchmark::State& state)
{
    FeedServer server(HttpTestResponse{200, {}, bigFeed(10000)});
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Feed> feed = Feed::trialFeed("http://feeds.test/rss");
        state.ResumeTiming();
        longest = std::max(longest, fetch(*feed, true));
    }
    state.counters["main_gap_ms"] = longest;
}
BENCHMARK(BM_FetchIntoEmptyFeed)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FetchIntoItsOwnItems(benchmark::State& state)
{
    FeedServer server(HttpTestResponse{200, {}, bigFeed(10000)});
    std::unique_ptr<Feed> feed = Feed::trialFeed("http://feeds.test/rss");
    fetch(*feed, true);
    runFetches(state, *feed, true);
}
BENCHMARK(BM_FetchIntoItsOwnItems)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_NotModified(benchmark::State& state)
{
    FeedServer server(HttpTestResponse{304, {}, {}});
    std::unique_ptr<Feed> feed = Feed::trialFeed("http://feeds.test/rss");
    runFetches(state, *feed, false);
}
BENCHMARK(BM_NotModified)->Unit(benchmark::kMillisecond)->Iterations(50);

QList<QVariantMap> storedItems()
{
    QList<QVariantMap> items;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString text = QString("Lorem ipsum dolor sit amet, consectetur adipiscing elit. ").repeated(6);
    for (int i = 0; i < 10000; ++i)
        items.append({{"title", QString("Entry %1").arg(i)}, {"link", QString("http://feeds.test/e/%1").arg(i)},
                      {"guid", QString("g-%1").arg(i)}, {"description", text}, {"date", now}, {"dateAdded", now},
                      {"enclosureURL", QString("http://feeds.test/t/%1.torrent").arg(i)},
                      {"enclosureType", "application/x-bittorrent"}, {"enclosureLength", "12345"}, {"isNew", "1"}});
    return items;
}

void BM_SaveItems(benchmark::State& state)
{
    QTemporaryDir dir;
    const QList<QVariantMap> items = storedItems();
    for (auto _ : state)
        benchmark::DoNotOptimize(FeedStorage::write(dir.filePath("feed"), items));
}
BENCHMARK(BM_SaveItems)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ReadItems(benchmark::State& state)
{
    QTemporaryDir dir;
    FeedStorage::write(dir.filePath("feed"), storedItems());
    for (auto _ : state) {
        const QList<QVariantMap> items = FeedStorage::read(dir.filePath("feed"));
        if (items.size() != 10000)
            state.SkipWithError("items lost");
    }
}
BENCHMARK(BM_ReadItems)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_OpenIconDatabase(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("FaviconStorage.db");
    {
        FaviconStorage seeded(path);
        seeded.open(QDateTime::currentDateTimeUtc());
        const QByteArray icon(1150, 'i');  // a 16 x 16 ICO's size
        for (int i = 0; i < 1000; ++i)
            seeded.store(QString("site%1.test").arg(i), icon, QDateTime::currentDateTimeUtc());
    }
    for (auto _ : state) {
        FaviconStorage storage(path);
        if (!storage.open(QDateTime::currentDateTimeUtc()))
            state.SkipWithError("cannot open");
    }
}
BENCHMARK(BM_OpenIconDatabase)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
