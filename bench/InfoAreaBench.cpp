// The info area under the transfers list: one refresh of the pieces grid of a 1,000,000-block torrent
// (values and drawing), and a selection change among 1,000 listed transfers with the pane shown
// (the controller's notification, every view of the info area, the redraw), with the longest one.
#include "BenchSession.h"
#include "engine/bencode/BValue.h"
#include "engine/bencode/Bencoder.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/DefaultSettings.h"
#include "kit/Settings.h"
#include "platform/VolumeMonitor.h"
#include "transfers/KoDownloadsController.h"
#include "transfers/PiecesView.h"
#include "transfers/TransfersInfoArea.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <ctime>

using namespace ombrelay;

namespace {

TorrentLinePtr generatedTorrent(int n, qint64 blocks)
{
    return TorrentLine::torrentLineForData(bench::generatedMetainfo(n, blocks * 16384, 1 << 22));
}

// Settings and a mount table in a temporary folder, and the controller installed as the host.
struct Transfers : bench::BenchSession
{
    std::unique_ptr<KoDownloadsController> controller;

    Transfers()
    {
        controller = std::make_unique<KoDownloadsController>(*volumes);
        EngineHost::install(controller.get());
        controller->mainView()->resize(1000, 700);
        controller->mainView()->show();
    }
    ~Transfers()
    {
        controller->removeDownloads(controller->objects());
        EngineHost::install(nullptr);
    }
};

// CPU time of the calling thread: the machine may be shared, so wall time alone can mislead.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void piecesRefreshOfAMillionBlocks(benchmark::State& state)
{
    Transfers transfers;
    const TorrentLinePtr torrent = generatedTorrent(0, 1'000'000);
    QRandomGenerator random(7);
    for (int k = 0; k < 500'000; ++k)
        torrent->downloadedBlocks().addIndex(random.bounded(1'000'000));
    transfers.controller->addDownload(torrent);
    torrent->restoreDownloadState(TorrentLine::Downloading);
    transfers.controller->selectObjects({torrent});
    PiecesView& view = *transfers.controller->infoArea()->piecesView();
    for (auto _ : state) {
        torrent->downloadedBlocks().addIndex(random.bounded(1'000'000));
        view.updateTimer();
        view.repaint();
    }
    state.counters["cells"] = view.grid().cellCount();
}

void selectionChangeAmongAThousand(benchmark::State& state)
{
    Transfers transfers;
    TorrentLineList torrents;
    for (int n = 0; n < 1000; ++n)
        torrents.append(generatedTorrent(n, 3000 + n));
    transfers.controller->addDownloads(torrents);
    QApplication::processEvents();
    const auto select = [&](int n) {
        transfers.controller->selectObjects({torrents[n]});
        QApplication::processEvents();
    };
    // The first change also loads the icon theme and fonts once per process.
    QElapsedTimer clock;
    clock.start();
    select(0);
    state.counters["first_ms"] = double(clock.nsecsElapsed()) / 1e6;
    double longestMs = 0;
    double longestCpuMs = 0;
    int next = 1;
    for (auto _ : state) {
        const double cpuBefore = threadCpuMs();
        clock.start();
        select(next);
        longestMs = std::max(longestMs, double(clock.nsecsElapsed()) / 1e6);
        longestCpuMs = std::max(longestCpuMs, threadCpuMs() - cpuBefore);
        next = (next + 37) % int(torrents.size());
    }
    state.counters["longest_cpu_ms"] = longestCpuMs;
    state.counters["longest_ms"] = longestMs;
}

} // namespace

BENCHMARK(piecesRefreshOfAMillionBlocks)->Unit(benchmark::kMicrosecond);
BENCHMARK(selectionChangeAmongAThousand)->Unit(benchmark::kMillisecond)->UseRealTime();
