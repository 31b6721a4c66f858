// The result and feed lists at size: a burst of 1,000 swarm updates into 1,000 results sorted by swarm,
// a filter keystroke over them, a filter keystroke over a feed of 5,000 entries all selected, opening a
// feed of 10,000 entries (lines, date order, tab counts), and showing 10,000 entries whose torrent files
// are all in the cache, as after a restart ("worst_stall_ms": the longest the main loop went without
// turning until every entry was a torrent).
#include "FilterKeyTiming.h"
#include "engine/bencode/BValue.h"
#include "engine/bencode/Bencoder.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/DefaultSettings.h"
#include "kit/NotificationCenter.h"
#include "kit/Settings.h"
#include "search/feeds/FeedItem.h"
#include "search/feeds/RSSLine.h"
#include "search/feeds/RSSTorrentCache.h"
#include "search/views/QueryOutlineView.h"
#include "search/views/RSSOutlineView.h"
#include "uikit/FilterSearchField.h"
#include "support/LoopLateness.h"
#include "uikit/PZRoundTabView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

// A result of 20 files, a distinct info hash each.
TorrentLinePtr generatedResult(int n)
{
    BValue files = BValue::list();
    for (int i = 0; i < 20; ++i) {
        BValue file;
        file.insert("length", qint64(1'000'000 + i));
        BValue path = BValue::list();
        path.append(QByteArray("track ") + QByteArray::number(i) + (i % 2 ? ".mp3" : ".txt"));
        file.insert("path", std::move(path));
        files.append(std::move(file));
    }
    BValue info;
    info.insert("files", std::move(files));
    info.insert("name", QByteArray("Result ") + QByteArray::number(n));
    info.insert("piece length", qint64(1 << 20));
    QByteArray pieces(20 * 20, '\0');
    pieces.replace(0, 4, QByteArray::number(n).rightJustified(4, '0'));
    info.insert("pieces", pieces);
    BValue metainfo;
    metainfo.insert("info", std::move(info));
    TorrentLinePtr line = TorrentLine::torrentLineForData(Bencoder::bencodingForObject(metainfo));
    line->setSeeds(n % 300);
    return line;
}

struct Results
{
    QTemporaryDir folder;
    PZRoundTabView tabs;
    FilterSearchField field;
    QueryOutlineView view;
    TorrentLineList lines;

    Results()
    {
        Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
        registerDefaultSettings(Settings::instance());
        view.setUp(&tabs, &field);
        for (int n = 0; n < 1000; ++n)
            lines.append(generatedResult(n));
        view.setLines(lines);
        view.setSortDescriptors({{QStringLiteral("swarmSize"), false, QStringLiteral("compare:")}});
        view.resize(900, 600);
        view.show();
        QApplication::processEvents();
    }
};

void swarmUpdateBurst(benchmark::State& state)
{
    Results results;
    int round = 0;
    for (auto _ : state) {
        ++round;
        for (const TorrentLinePtr& line : results.lines) {
            line->setLeeches((round * 7 + line->seeds()) % 500);
            postNotificationAboutSelf(line.get(), QStringLiteral("TorrentLineSwarmSizeUpdated"));
        }
        QApplication::processEvents();
    }
}

void filterKeystroke(benchmark::State& state)
{
    Results results;
    int round = 0;
    for (auto _ : state) {
        results.field.setText(++round % 2 ? QStringLiteral("track 1") : QStringLiteral("result 9"));
        QApplication::processEvents();
    }
}

// Feed entries a minute apart, the newest first, all new.
QList<FeedItemPtr> feedItems(int count)
{
    QList<FeedItemPtr> items;
    const QDateTime start = QDateTime::currentDateTimeUtc();
    for (int n = 0; n < count; ++n) {
        auto item = std::make_shared<FeedItem>(QVariantMap{{"title", QStringLiteral("Entry %1").arg(n)},
                                                           {"link", QStringLiteral("http://feeds.invalid/%1").arg(n)},
                                                           {"date", start.addSecs(-n * 60)}, {"isNew", true}});
        item->joinFeed({});
        items.append(item);
    }
    return items;
}

void openLargeFeed(benchmark::State& state)
{
    QTemporaryDir folder;
    Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
    registerDefaultSettings(Settings::instance());
    const QList<FeedItemPtr> items = feedItems(10000);
    for (auto _ : state) {
        PZRoundTabView tabs;
        FilterSearchField field;
        RSSOutlineView view;
        view.setUp(&tabs, &field);
        view.setSortDescriptors({{QStringLiteral("date"), false, QStringLiteral("compare:")}});
        TorrentLineList lines;
        for (const FeedItemPtr& item : items)
            lines.append(RSSLine::rssLineForItem(item));
        view.setFeedLines(lines);
        view.resize(900, 600);
        view.show();
        QApplication::processEvents();
    }
}

// A key in the filter field over a feed of 5,000 entries, all selected.
void filterKeyWithTheWholeFeedSelected(benchmark::State& state)
{
    QTemporaryDir folder;
    Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
    registerDefaultSettings(Settings::instance());
    TorrentLineList lines;
    for (const FeedItemPtr& item : feedItems(5000))
        lines.append(RSSLine::rssLineForItem(item));
    PZRoundTabView tabs;
    FilterSearchField field;
    RSSOutlineView view;
    view.setUp(&tabs, &field);
    view.setSortDescriptors({{QStringLiteral("date"), false, QStringLiteral("compare:")}});
    view.setFeedLines(lines);
    view.resize(900, 600);
    view.show();
    QApplication::processEvents();
    bench::timeFilterKeysWithEverythingSelected(state, view, field);
}

void showCachedFeed(benchmark::State& state)
{
    static QTemporaryDir folder;
    RSSTorrentCache::setCachePathForTesting(folder.filePath(QStringLiteral("RSSTorrentCache")));
    Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
    registerDefaultSettings(Settings::instance());
    constexpr int kEntries = 10000;
    const QByteArray torrent = generatedResult(0)->torrentData();
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // New items each round, so that no line is a torrent yet; their files in the cache.
        TorrentLineList lines;
        const QDateTime start = QDateTime::currentDateTimeUtc();
        for (int n = 0; n < kEntries; ++n) {
            const QString address = QStringLiteral("http://feeds.invalid/%1/%2.torrent").arg(round).arg(n);
            auto item = std::make_shared<FeedItem>(QVariantMap{{"title", QStringLiteral("Entry %1").arg(n)},
                                                               {"enclosureURL", address},
                                                               {"enclosureType", "application/x-bittorrent"},
                                                               {"date", start.addSecs(-n * 60)}, {"isNew", true}});
            item->joinFeed({});
            const RSSLinePtr line = RSSLine::rssLineForItem(item);
            QDir().mkpath(QFileInfo(line->torrentStoragePath()).absolutePath());
            QFile file(line->torrentStoragePath());
            if (file.open(QIODevice::WriteOnly))
                file.write(torrent);
            lines.append(line);
        }
        ++round;
        PZRoundTabView tabs;
        FilterSearchField field;
        RSSOutlineView view;
        view.setUp(&tabs, &field);
        view.setFeedLines(lines);
        view.resize(900, 600);
        state.ResumeTiming();

        test::LoopLateness lateness;
        view.show();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 120000
               && std::any_of(lines.begin(), lines.end(), [](const TorrentLinePtr& l) { return l->isRSSArticleLine(); }))
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        state.counters["worst_stall_ms"] = double(lateness.worstMs());
    }
}

}  // namespace

BENCHMARK(swarmUpdateBurst)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(filterKeystroke)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(openLargeFeed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(filterKeyWithTheWholeFeedSelected)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(showCachedFeed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
