// The transfers list with 1,000 stored torrents: loading them from their session folders into a shown
// window (total time and the longest wait of input between two passes of the event loop), and the
// once-a-second work of the list (values, re-sort, texts, state log, redraw), as a share of one core, and
// removing every torrent at once; a key in the filter field with every transfer selected.
#include "BenchSession.h"
#include "FilterKeyTiming.h"
#include "engine/core/EngineHost.h"
#include "engine/storage/DiskSession.h"
#include "engine/storage/SessionLifecycle.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/Settings.h"
#include "platform/VolumeMonitor.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/KoDownloadsController.h"
#include "transfers/TransferStateLog.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

constexpr int kTorrents = 1000;

// Settings, the mount table and 1,000 session folders in a temporary folder, made once.
struct StoredSession : bench::BenchSession
{
    StoredSession()
    {
        SessionLifecycle lifecycle(*volumes);
        const int states[] = {TorrentLine::Paused, TorrentLine::Complete, TorrentLine::Waiting,
                              TorrentLine::Paused};
        for (int n = 0; n < kTorrents; ++n) {
            TorrentLinePtr torrent = TorrentLine::torrentLineForData(
                bench::generatedMetainfo(n, 50'000'000 + qint64(n) * 7919, 1 << 20));
            torrent->setDownloadPath(folder.filePath(QStringLiteral("Downloads")));
            torrent->restoreDownloadState(n % 10 == 0 ? int(TorrentLine::Downloading) : states[n % 4]);
            lifecycle.writeStorageInformation(*torrent);
        }
    }
    static StoredSession& instance()
    {
        static StoredSession session;
        return session;
    }
};

// The transfers pane in a window, as the application shows it.
struct ShownTransfers
{
    KoDownloadsController controller;
    DiskSession session;

    explicit ShownTransfers(VolumeMonitor& volumes) : controller(volumes), session(volumes)
    {
        EngineHost::install(&controller);
        controller.mainView()->resize(1000, 700);
        controller.mainView()->show();
    }
    ~ShownTransfers() { EngineHost::install(nullptr); }
    // Loads the session folders; false, with the benchmark told why, when they did not all load.
    bool load(benchmark::State& state)
    {
        double unused = 0;
        if (load(unused))
            return true;
        state.SkipWithError("the stored torrents did not all load");
        return false;
    }
    // Loads the session folders; the longest time between two passes of the loop in `longestWaitMs`.
    bool load(double& longestWaitMs)
    {
        QEventLoop loop;
        bool finished = false;
        QObject::connect(&session.loader(), &SessionLoader::finished, &loop, [&] {
            finished = true;
            loop.quit();
        });
        QElapsedTimer sinceLastPass;
        sinceLastPass.start();
        QTimer pass; // fires on every pass of the loop, as queued input would be handled
        QObject::connect(&pass, &QTimer::timeout, &loop, [&] {
            longestWaitMs = std::max(longestWaitMs, double(sinceLastPass.nsecsElapsed()) / 1e6);
            sinceLastPass.restart();
        });
        pass.start(0);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        session.loader().loadTorrentsFromDisk();
        loop.exec();
        return finished && controller.objects().size() == kTorrents;
    }
};

void loadStoredTorrents(benchmark::State& state)
{
    StoredSession& stored = StoredSession::instance();
    double longestWaitMs = 0;
    for (auto _ : state) {
        ShownTransfers transfers(*stored.volumes);
        if (!transfers.load(longestWaitMs)) {
            state.SkipWithError("the stored torrents did not all load");
            break;
        }
        state.PauseTiming();
        for (const TorrentLinePtr& torrent : transfers.controller.objects())
            torrent->dropStorage();
        state.ResumeTiming();
    }
    state.counters["longest_input_wait_ms"] = longestWaitMs;
    state.SetItemsProcessed(int64_t(state.iterations()) * kTorrents);
}

void oneSecondOfTheList(benchmark::State& state)
{
    StoredSession& stored = StoredSession::instance();
    ShownTransfers transfers(*stored.volumes);
    if (!transfers.load(state))
        return;
    DownloadsOutlineView* view = transfers.controller.outlineView();
    view->setSortDescriptors({{QStringLiteral("name"), true, QStringLiteral("caseInsensitiveCompare:")}});
    FILE* discard = std::fopen("/dev/null", "w");
    TransferStateLog log(discard);
    QElapsedTimer clock;
    qint64 spentNs = 0;
    for (auto _ : state) {
        // The application's tick: the session's work, the controller's texts, the state log, a redraw.
        clock.start();
        transfers.session.oneSecondWork();
        transfers.controller.invalidateBindingsText();
        log.update(transfers.controller.objects());
        view->viewport()->repaint();
        spentNs += clock.nsecsElapsed();
    }
    std::fclose(discard);
    // Share of one core when this runs once a second.
    state.counters["core_percent"] = double(spentNs) / double(state.iterations()) / 1e9 * 100.0;
    for (const TorrentLinePtr& torrent : transfers.controller.objects())
        torrent->dropStorage();
}

// A key typed into the filter field with every transfer selected, as the user sees it: the re-filter, its
// selection change and what the controller does with it.
void filterKeyWithEverythingSelected(benchmark::State& state)
{
    StoredSession& stored = StoredSession::instance();
    ShownTransfers transfers(*stored.volumes);
    if (!transfers.load(state))
        return;
    bench::timeFilterKeysWithEverythingSelected(state, *transfers.controller.outlineView(), *transfers.controller.filterField());
    for (const TorrentLinePtr& torrent : transfers.controller.objects())
        torrent->dropStorage();
}

// Every torrent of the list removed in one go, as a select-all and delete does. Removing deletes the
// torrents' session folders, so each pass stores its own (this runs after the benchmarks that share one).
void removeEveryTorrent(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        StoredSession stored;
        ShownTransfers transfers(*stored.volumes);
        double unused = 0;
        if (!transfers.load(unused)) {
            state.SkipWithError("the stored torrents did not all load");
            break;
        }
        const TorrentLineList all = transfers.controller.objects();
        state.ResumeTiming();
        transfers.controller.outlineView()->removeTorrents(all);
        state.PauseTiming();
        if (!transfers.controller.objects().isEmpty())
            state.SkipWithError("torrents are left in the list");
        for (const TorrentLinePtr& torrent : all)
            torrent->dropStorage();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kTorrents);
}

} // namespace

BENCHMARK(loadStoredTorrents)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(oneSecondOfTheList)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(filterKeyWithEverythingSelected)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(removeEveryTorrent)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
