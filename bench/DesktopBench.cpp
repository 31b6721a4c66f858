// Desktop hand-overs: a drag entering the window with 50 torrent files (one of them of 20,000 files) until
// the overlay knows what a drop would add; and 1,000 completed music files handed to the media library
// (entries and playlist lines) with the longest lateness of the main loop meanwhile.
#include "LargeMetainfo.h"

#include "app/desktop/DragOverlayView.h"
#include "app/desktop/KoiTunesController.h"
#include "kit/DefaultSettings.h"
#include "kit/SerialQueue.h"
#include "kit/Settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray smallMetainfo(int n)
{
    BValue info;
    info.insert("length", 1000000 + n);
    info.insert("name", QByteArray("Torrent ") + QByteArray::number(n) + ".iso");
    info.insert("piece length", 1 << 18);
    QByteArray pieces(4 * 20, 'a');
    pieces.replace(0, 4, QByteArray::number(n).rightJustified(4, '0'));  // a distinct info hash each
    info.insert("pieces", pieces);
    BValue metainfo;
    metainfo.insert("info", std::move(info));
    return Bencoder::bencodingForObject(metainfo);
}

void dragEnter50Torrents(benchmark::State& state)
{
    QTemporaryDir folder;
    QList<QUrl> urls{QUrl::fromLocalFile(folder.filePath("large.torrent"))};
    writeFile(folder.filePath("large.torrent"), bench::largeMetainfo(20000));
    for (int n = 1; n < 50; ++n) {
        const QString path = folder.filePath(QStringLiteral("t%1.torrent").arg(n));
        writeFile(path, smallMetainfo(n));
        urls.append(QUrl::fromLocalFile(path));
    }
    QMimeData data;
    data.setUrls(urls);
    QWidget covered;
    DragOverlayView overlay(&covered);
    for (auto _ : state) {
        overlay.shouldAnimateIn(&data);
        if (overlay.torrents().size() != 50)
            state.SkipWithError("not every torrent was read");
        benchmark::DoNotOptimize(overlay.secondaryString());
    }
}

void handOver1000MusicFiles(benchmark::State& state)
{
    qint64 worstLatenessMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir home;
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath(".config").toUtf8());
        writeFile(home.filePath(".config/user-dirs.dirs"), "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
        QStringList paths;
        for (int n = 0; n < 1000; ++n) {
            paths.append(home.filePath(QStringLiteral("Downloads/Album %1/%2.mp3").arg(n / 100).arg(n)));
            writeFile(paths.last(), QByteArray(4096, char(n)));
        }
        state.ResumeTiming();

        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            worstLatenessMs = std::max(worstLatenessMs, clock.elapsed() - last - tick.interval());
            last = clock.elapsed();
        });
        tick.start(5);
        for (const QString& path : paths)
            KoiTunesController::handleCompletedPath(path, path.section('/', -2));
        std::atomic<bool> done{false};
        KoiTunesController::operationQueue().post(nullptr, [&] { done = true; });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        tick.stop();
        state.PauseTiming();
        if (QFile(home.filePath("Music/Playlists/Ombrelay.m3u8")).size() < 1000 * 40)
            state.SkipWithError("the playlist lacks entries");
        state.ResumeTiming();
    }
    state.counters["worst_loop_lateness_ms"] = double(worstLatenessMs);
}

}  // namespace

BENCHMARK(dragEnter50Torrents)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(handOver1000MusicFiles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // No media player is asked: nothing reaches the user's bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/ombrelay-bench");
    QApplication app(argc, argv);
    QTemporaryDir settings;
    Settings::useFile(settings.filePath("Ombrelay.conf"));
    registerDefaultSettings(Settings::instance());
    Settings::instance().setBool("kKoAddSong", true);
    Settings::instance().setBool("kKoAddSongToPlaylist", true);
    Settings::instance().setInteger("kKoPlaySong", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
