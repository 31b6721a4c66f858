// ombrelay-engine-driver --data DIR --download DIR [--incomplete DIR] [--port N] [--peer IP:PORT]...
//                        [--seed-until-ratio R] [--timeout S] [--skip N]... [--write-rate BYTES]
//                        [--peer-time-scale S] [--resume-after-error S] [--dht-repeat S] TORRENT...
// Runs the engine without a window: adds each torrent as the transfers list does, starts it, prints one
// line per state change, a progress line each second and a peers line when its number of active peers
// changes, and exits 0 when every torrent is complete in the download folder (and has uploaded the
// ratio), 2 on time-out, 1 on error (unless --resume-after-error resumes a torrent
// that an error paused, S seconds later, as a user clicking Resume would). --write-rate makes the disk that slow (bytes a
// second); at the end it prints the most bytes that ever waited for the disk ("write backlog peak N").
// --peer-time-scale runs the peers' clock (rests, redials, the 65 s pruning, keep-alives, the silence
// limit) S times faster. --dht-repeat starts each DHT lookup again S seconds after it ended, instead of
// 15 to 30 minutes later.
// Progress lines name the torrent's peers: active, of those seeds, and connecting.
// --incomplete downloads into DIR and moves each torrent to the download folder when it completes.
// Lines "set KEY VALUE" on standard input change a setting while it runs, as the preferences window would;
// "remove HASH" removes a torrent as the transfers list does, then prints "removed HASH".
// Once the stored torrents are loaded it prints how many and the time since it started ("loaded N in M ms"),
// and so again once it has added the new ones ("added N in M ms").
// State lines name the state, then the reason of a torrent that stopped itself ("state HASH paused REASON").
// Before anything else it prints the port it listens on ("listening N"); --port 0 takes any free port,
// which the settings file never records.

#include "engine/core/BTCore.h"
#include "engine/nat/PortMapper.h"
#include "engine/core/EngineHost.h"
#include "engine/core/HeadlessEngineHost.h"
#include "engine/core/PeerService.h"
#include "engine/dht/DHTService.h"
#include "engine/peers/EngineServices.h"
#include "engine/storage/DiskSession.h"
#include "engine/storage/PieceStore.h"
#include "engine/storage/WriteBacklog.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/Settings.h"
#include "kit/SteadyClock.h"
#include "kit/TerminationSignals.h"
#include "platform/VolumeMonitor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

using namespace ombrelay;

namespace {

const char* stateName(int state)
{
    switch (state) {
    case TorrentLine::None: return "removed";
    case TorrentLine::Downloading: return "downloading";
    case TorrentLine::Paused: return "paused";
    case TorrentLine::Waiting: return "waiting";
    case TorrentLine::Complete: return "complete";
    case TorrentLine::Halted: return "halted";
    }
    return "unknown";
}

int fail(const QString& text)
{
    fprintf(stderr, "*** %s\n", qPrintable(text));
    return 1;
}


// Reports a completed download at once rather than at the next tick.
class DriverHost : public HeadlessEngineHost
{
public:
    std::function<void()> onCompleted;
    void notifyCompletedDownload(const QString& path) override
    {
        HeadlessEngineHost::notifyCompletedDownload(path);
        if (onCompleted)
            onCompleted();
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"data", "Application-support folder holding Ombrelay.conf.", "DIR"});
    parser.addOption({"download", "Download folder.", "DIR"});
    parser.addOption({"incomplete", "Incomplete folder, moved out of at completion.", "DIR"});
    parser.addOption({"port", "Listening port (kBTPort); 0: any free port.", "N"});
    parser.addOption({"peer", "A peer to dial, repeatable.", "IP:PORT"});
    parser.addOption({"seed-until-ratio", "Keep seeding until this upload ratio.", "R"});
    parser.addOption({"timeout", "Give up after this many seconds.", "S"});
    parser.addOption({"skip", "Skip file N (from 0) of each torrent added, repeatable.", "N"});
    parser.addOption({"write-rate", "Write blocks no faster than this (a slow disk).", "BYTES"});
    parser.addOption({"peer-time-scale", "Run the peers' clock this many times faster.", "S"});
    parser.addOption({"resume-after-error", "Resume a torrent that an error paused, this much later.", "S"});
    parser.addOption({"dht-repeat", "Start each DHT lookup again this long after it ended.", "S"});
    parser.addPositionalArgument("TORRENT", "Torrent files to add.");
    if (!parser.parse(app.arguments()))
        return fail(parser.errorText());
    const QStringList torrents = parser.positionalArguments();
    if (!parser.isSet("data") || !parser.isSet("download") || torrents.isEmpty())
        return fail(QStringLiteral("usage: ombrelay-engine-driver --data DIR --download DIR [--incomplete DIR] [--port N] "
                                   "[--peer IP:PORT]... [--seed-until-ratio R] [--timeout S] [--skip N]... "
                                   "[--write-rate BYTES] [--peer-time-scale S] [--resume-after-error S] [--dht-repeat S] "
                                   "TORRENT..."));
    bool ok = true;
    const double ratio = parser.isSet("seed-until-ratio") ? parser.value("seed-until-ratio").toDouble(&ok) : 0;
    if (!ok || ratio < 0)
        return fail(QStringLiteral("--seed-until-ratio needs a number"));
    const int timeout = parser.isSet("timeout") ? parser.value("timeout").toInt(&ok) : 0;
    if (!ok || timeout < 0)
        return fail(QStringLiteral("--timeout needs a number of seconds"));
    QList<int> skipped;
    for (const QString& value : parser.values("skip")) {
        skipped.append(value.toInt(&ok));
        if (!ok || skipped.last() < 0)
            return fail(QStringLiteral("--skip needs a file number"));
    }

    if (parser.isSet("write-rate")) {
        const qint64 rate = parser.value("write-rate").toLongLong(&ok);
        if (!ok || rate <= 0)
            return fail(QStringLiteral("--write-rate needs bytes per second"));
        PieceStore::setWriteRateLimit(rate);
    }

    const int resumeAfterError = parser.isSet("resume-after-error") ? parser.value("resume-after-error").toInt(&ok) : 0;
    if (!ok || resumeAfterError < 0)
        return fail(QStringLiteral("--resume-after-error needs a number of seconds"));
    const int dhtRepeat = parser.isSet("dht-repeat") ? parser.value("dht-repeat").toInt(&ok) : 0;
    if (!ok || dhtRepeat < 0)
        return fail(QStringLiteral("--dht-repeat needs a number of seconds"));

    std::function<qint64()> peersClock;
    if (parser.isSet("peer-time-scale")) {
        const double scale = parser.value("peer-time-scale").toDouble(&ok);
        if (!ok || scale < 1)
            return fail(QStringLiteral("--peer-time-scale needs a factor of at least 1"));
        const qint64 start = steadyMilliseconds();
        peersClock = [start, scale] { return start + qint64(double(steadyMilliseconds() - start) * scale); };
        TorrentLine::setOneMinuteTimerInterval(int(TorrentLine::kOneMinuteTimerInterval / scale));
    }

    const QString data = QDir(parser.value("data")).absolutePath();
    const QString download = QDir(parser.value("download")).absolutePath();
    if (!QDir().mkpath(data) || !QDir().mkpath(download))
        return fail(QStringLiteral("cannot create %1 or %2").arg(data, download));
    Settings::useFile(data + QStringLiteral("/Ombrelay.conf"));
    Settings& settings = Settings::instance();
    registerDefaultSettings(settings);
    AppPaths::setApplicationSupportPath(data);
    settings.setValue(QStringLiteral("save_directory"), download);
    if (parser.isSet("incomplete")) {
        settings.setValue(QStringLiteral("kUseIncompleteFolder"), true);
        settings.setValue(QStringLiteral("kIncompleteFolder"), QDir(parser.value("incomplete")).absolutePath());
    }
    const int port = parser.isSet("port") ? parser.value("port").toInt(&ok) : -1;
    if (parser.isSet("port") && (!ok || port < 0 || port > 65535))
        return fail(QStringLiteral("--port needs a port number"));
    if (port > 0) {
        settings.setValue(QStringLiteral("kBTPort"), port);
        settings.setValue(QStringLiteral("kRandomPort"), false);
    }
    if (ratio > 0)
        settings.setValue(QStringLiteral("kSeedingEnabled"), true);

    DriverHost host;
    EngineHost::install(&host);
    DiskSession session(VolumeMonitor::instance());
    // A test tool: its peers are on loopback, so it asks no gateway for a port mapping.
    BTCore::Parts parts = BTCore::defaultParts();
    parts.makePortMapper = [](quint16) { return std::unique_ptr<PortMapper>(); };
    parts.listenOnAnyPort = port == 0;
    BTCore::useParts(std::move(parts));
    BTCore& engine = BTCore::instance();
    if (!engine.isListening())
        return fail(QStringLiteral("no listening port"));
    printf("listening %u\n", unsigned(engine.privatePort()));
    fflush(stdout);
    BTCore::Hooks hooks = session.hooks();
    const std::unique_ptr<EngineServices> services = installEngineServices(engine, hooks, peersClock);
    if (dhtRepeat > 0)
        services->dht().controller().setRepeatInterval(dhtRepeat * 1000, dhtRepeat * 1000);
    engine.setHooks(std::move(hooks));
    // The quit runs from the loop: a signal handler may not call into Qt.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app, &QCoreApplication::quit);

    QHash<const TorrentLine*, QString> states;  // the state and error text last printed
    QHash<const TorrentLine*, int> activePeers;
    QSet<const TorrentLine*> resuming;
    int exitCode = -1;
    const auto finish = [&](int code) {
        if (exitCode >= 0)
            return;
        exitCode = code;
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    };
    const auto report = [&] {
        bool allDone = !host.objects().isEmpty();
        for (const TorrentLinePtr& t : host.objects()) {
            const QString state = QString::fromLatin1(stateName(t->downloadState())) +
                                  (t->errorText().isEmpty() ? QString() : QLatin1Char(' ') + t->errorText());
            if (states.value(t.get()) != state) {
                states.insert(t.get(), state);
                printf("state %s %s\n", t->infoHash().toHex().constData(), qPrintable(state));
            }
            const int active = PeerService::instance().peerCounts(*t).active;
            if (activePeers.value(t.get(), -1) != active) {
                activePeers.insert(t.get(), active);
                printf("peers %s %d\n", t->infoHash().toHex().constData(), active);
            }
            if (!t->errorText().isEmpty() && resumeAfterError == 0)
                finish(1);
            if (!t->errorText().isEmpty() && t->isPaused() && resumeAfterError > 0 && !resuming.contains(t.get())) {
                resuming.insert(t.get());
                QTimer::singleShot(resumeAfterError * 1000, &app, [&resuming, weak = std::weak_ptr<TorrentLine>(t)] {
                    if (const TorrentLinePtr line = weak.lock()) {
                        resuming.remove(line.get());
                        if (line->isPaused())
                            line->retryDownload();
                    }
                });
            }
            const bool uploaded = ratio <= 0 || double(t->bytesUploaded()) >= ratio * double(t->totalLength());
            allDone = allDone && t->isComplete() && !t->shouldRelocateOnCompletion() && uploaded;
        }
        fflush(stdout);
        if (allDone)
            finish(0);
    };

    // Added once the session folders are loaded, so a restarted driver never lists a torrent twice.
    QObject::connect(&session.loader(), &SessionLoader::finished, &app, [&] {
        printf("loaded %lld in %lld ms\n", static_cast<long long>(host.objects().size()),
               static_cast<long long>(sinceStart.elapsed()));
        TorrentLineList lines;
        for (const QString& path : torrents) {
            TorrentLinePtr line = TorrentLine::torrentLineForPath(path);
            if (!line) {
                fail(QStringLiteral("not a torrent: %1").arg(path));
                finish(1);
                return;
            }
            if (line->btDownload())
                continue;  // loaded from its session folder, with its own file choices
            for (int index : skipped)
                if (index < line->files().size())
                    line->files().at(index)->setCheckboxState(OBLine::Skipped, false);
            lines.append(line);
        }
        session.adder().addTorrentLines(lines, false, false, false);
        printf("added %lld in %lld ms\n", static_cast<long long>(lines.size()),
               static_cast<long long>(sinceStart.elapsed()));
        // Dials the named peers for every torrent.
        for (const TorrentLinePtr& t : host.objects())
            for (const QString& peer : parser.values("peer"))
                PeerService::instance().dialPeer(*t, peer);
        report();
    });
    session.loader().loadTorrentsFromDisk();

    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, &app, [&] {
        report();
        for (const TorrentLinePtr& t : host.objects())
            if (t->downloadState() == TorrentLine::Downloading || t->isSeeding()) {
                const PeerService::Counts peers = PeerService::instance().peerCounts(*t);
                printf("progress %s %.4f down %.0f B/s up %.0f B/s uploaded %llu peers %d seeds %d connecting %d\n",
                       t->infoHash().toHex().constData(), double(t->fractionLoaded()), double(t->downloadRate()),
                       double(t->uploadRate()), static_cast<unsigned long long>(t->bytesUploaded()), peers.active,
                       peers.activeSeeds, peers.connecting);
            }
        fflush(stdout);
    });
    progress.start(1000);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray typed;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0)
            return input.setEnabled(false);  // closed
        typed.append(chunk, n);
        for (qsizetype end = typed.indexOf('\n'); end >= 0; end = typed.indexOf('\n')) {
            const QList<QByteArray> words = typed.left(end).simplified().split(' ');
            typed.remove(0, end + 1);
            if (words.size() == 3 && words[0] == "set") {
                settings.setValue(QString::fromUtf8(words[1]), QString::fromUtf8(words[2]));
                printf("set %s %s\n", words[1].constData(), words[2].constData());
                fflush(stdout);
            } else if (const TorrentLinePtr t = words.size() == 2 && words[0] == "remove"
                                                    ? host.torrentForInfoHash(QByteArray::fromHex(words[1]))
                                                    : nullptr) {
                host.removeDownloads({t});
                printf("removed %s\n", words[1].constData());
                fflush(stdout);
            } else {
                fprintf(stderr, "*** not a command: %s\n", words.join(' ').constData());
            }
        }
        if (typed.size() > 4096)
            typed.clear();  // no command is that long
    });
    if (timeout > 0)
        QTimer::singleShot(timeout * 1000, &app, [&] {
            fprintf(stderr, "*** timed out after %d s\n", timeout);
            finish(2);
        });
    // Verdicts arrive between ticks: check completion soon after each one too.
    QTimer quick;
    QObject::connect(&quick, &QTimer::timeout, &app, report);
    quick.start(200);
    host.onCompleted = [&] { QTimer::singleShot(0, &app, report); };

    app.exec();  // quitting saves the session (the engine listens for it)
    for (const TorrentLinePtr& t : host.objects())
        t->dropStorage();
    printf("write backlog peak %lld\n", static_cast<long long>(WriteBacklog::instance().peakBytes()));
    return exitCode < 0 ? 1 : exitCode;
}
