// The application frame's heavy moments, watched from the main thread: a 250,000-range blocklist archive
// from a loopback server to an idle view, the tray menu over 1,000 completed transfers, and 20 unfinished
// torrents moved into the incomplete folder on one file system. "max_stall_ms" is the longest lateness of
// a 10 ms timer while the work runs (input would wait that long).
#include "BenchSession.h"
#include "app/desktop/KoTrayMenu.h"
#include "app/prefs/BlocklistView.h"
#include "engine/bencode/BValue.h"
#include "engine/bencode/Bencoder.h"
#include "engine/blocklist/Blocklist.h"
#include "engine/core/EngineHost.h"
#include "engine/storage/DiskSession.h"
#include "engine/storage/SessionLifecycle.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/SerialQueue.h"
#include "kit/Settings.h"
#include "platform/VolumeMonitor.h"
#include "transfers/KoDownloadsController.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <zip.h>

using namespace ombrelay;

namespace {

// Measures how late a 10 ms timer fires while the loop runs.
struct StallWatch
{
    QTimer timer;
    QElapsedTimer clock;
    double worstMs = 0;

    StallWatch()
    {
        timer.setInterval(10);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            worstMs = std::max(worstMs, double(clock.nsecsElapsed()) / 1e6 - 10.0);
            clock.restart();
        });
        clock.start();
        timer.start();
    }
};

// Runs the loop until `done` holds or `timeoutMs` passed.
bool spinUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    return done();
}

// 250,000 ranges as the provider's archive holds them.
QByteArray blocklistArchive(const QString& folder)
{
    QByteArray text;
    text.reserve(250000 * 40);
    for (quint32 i = 0; i < 250000; ++i) {
        const quint32 a = 16777216u + i * 1024u;
        const auto dotted = [](quint32 v) {
            return QByteArray::number(v >> 24) + '.' + QByteArray::number((v >> 16) & 255) + '.' +
                   QByteArray::number((v >> 8) & 255) + '.' + QByteArray::number(v & 255);
        };
        text += "Range " + QByteArray::number(i) + ':' + dotted(a) + '-' + dotted(a + 511) + "\r\n";
    }
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/level1.zip"));
    int error = 0;
    zip_t* archive = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    zip_file_add(archive, "level1.txt",
                 zip_source_buffer(archive, text.constData(), zip_uint64_t(text.size()), 0), 0);
    zip_close(archive);
    QFile file(QString::fromLocal8Bit(path));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// Answers every request with the archive, as a proxy would.
struct LoopbackServer
{
    QTcpServer server;
    QByteArray response;

    explicit LoopbackServer(const QByteArray& body)
    {
        response =
            "HTTP/1.1 200 OK\r\nContent-Type: application/zip\r\nConnection: close\r\nContent-Length: " +
            QByteArray::number(body.size()) + "\r\n\r\n" + body;
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n"))
                        return;
                    socket->write(response);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
};

void blocklistArchiveToIdle(benchmark::State& state)
{
    bench::BenchSession workspace;
    const QByteArray archive = blocklistArchive(workspace.folder.path());
    LoopbackServer server(archive);
    qputenv("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(server.server.serverPort()).toLatin1());
    Blocklist blocklist(workspace.folder.filePath(QStringLiteral("Blocklist.db")), Settings::instance());
    BlocklistView view(blocklist);
    double worst = 0;
    for (auto _ : state) {
        bool idle = false;
        QObject::connect(
            &view, &BlocklistView::becameIdle, &view, [&] { idle = true; }, Qt::SingleShotConnection);
        StallWatch watch;
        view.downloadBlocklist();
        if (!spinUntil([&] { return idle; }, 60000))
            state.SkipWithError("the view never became idle");
        worst = std::max(worst, watch.worstMs);
    }
    state.counters["entries"] = double(Settings::instance().integer(QStringLiteral("kBlocklistEntryCount")));
    state.counters["archive_kB"] = double(archive.size()) / 1000.0;
    state.counters["max_stall_ms"] = worst;
    qunsetenv("http_proxy");
}

void trayMenuOfCompletedTransfers(benchmark::State& state)
{
    bench::BenchSession workspace;
    KoDownloadsController controller(*workspace.volumes);
    EngineHost::install(&controller);
    TorrentLineList torrents;
    for (int n = 0; n < state.range(0); ++n) {
        TorrentLinePtr torrent =
            TorrentLine::torrentLineForData(bench::generatedMetainfo(n, 5'000'000 + n, 1 << 18));
        torrent->setDownloadPath(workspace.folder.filePath(QStringLiteral("Downloads")));
        torrents.append(torrent);
    }
    controller.addDownloads(torrents);
    for (const TorrentLinePtr& torrent : torrents)
        torrent->restoreDownloadState(TorrentLine::Complete);
    KoTrayMenu tray(controller);
    QMenu menu;
    for (auto _ : state) {
        tray.fill(&menu);
        benchmark::DoNotOptimize(menu.actions().size());
    }
    state.counters["items"] = double(menu.actions().size());
    controller.removeDownloads(controller.objects());
    EngineHost::install(nullptr);
}

void moveUnfinishedTorrents(benchmark::State& state)
{
    bench::BenchSession workspace;
    KoDownloadsController controller(*workspace.volumes);
    EngineHost::install(&controller);
    double worst = 0;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        DiskSession session(*workspace.volumes);
        const QString from = workspace.folder.filePath(QStringLiteral("Downloads/%1").arg(round));
        const QString to = workspace.folder.filePath(QStringLiteral("Incomplete/%1").arg(round++));
        QDir().mkpath(from);
        TorrentLineList torrents;
        for (int n = 0; n < 20; ++n) {
            TorrentLinePtr torrent =
                TorrentLine::torrentLineForData(bench::generatedMetainfo(round * 100 + n, 4 << 20, 1 << 18));
            torrent->setDownloadPath(from);
            session.lifecycle().writeStorageInformation(*torrent);
            QFile content(torrent->fullPath());
            content.open(QIODevice::WriteOnly);
            content.resize(4 << 20);
            torrents.append(torrent);
        }
        controller.addDownloads(torrents);
        for (const TorrentLinePtr& torrent : torrents)
            torrent->restoreDownloadState(TorrentLine::Paused);
        state.ResumeTiming();

        StallWatch watch;
        int moved = 0;
        for (const TorrentLinePtr& torrent : torrents)
            session.lifecycle().relocate(*torrent, to,
                                         [&](const QString& error) { moved += error.isEmpty(); });
        if (!spinUntil([&] { return moved == 20; }, 60000))
            state.SkipWithError("not every torrent moved");
        worst = std::max(worst, watch.worstMs);

        state.PauseTiming();
        for (const TorrentLinePtr& torrent : torrents)
            torrent->dropStorage();
        controller.removeDownloads(torrents);
        SessionLifecycle::cleanupQueue().drain();
        state.ResumeTiming();
    }
    state.counters["max_stall_ms"] = worst;
    EngineHost::install(nullptr);
}

} // namespace

BENCHMARK(blocklistArchiveToIdle)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(trayMenuOfCompletedTransfers)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(moveUnfinishedTorrents)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
