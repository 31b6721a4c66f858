// ombrelay-feed-driver --data DIR [--proxy URL] [--feed URL]... [--icon URL]... [--shorten URL] [--torrents]
//                      [--download] [--run S]
// Runs feeds, site icons and the address shortener without a window and prints one JSON line per event.
// --torrents fetches the torrent file of every entry that names one; --download also downloads each such
// torrent through the engine (into DIR/download) and exits 0 once all are complete. Without --download
// it runs until --run seconds have passed (or SIGTERM); feeds save their items at exit either way.
// Refuses to run unless every address is on loopback or a loopback proxy is given.

#include "engine/core/BTCore.h"
#include "engine/core/EngineHost.h"
#include "engine/core/HeadlessEngineHost.h"
#include "engine/nat/PortMapper.h"
#include "engine/peers/EngineServices.h"
#include "engine/storage/DiskSession.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/NotificationCenter.h"
#include "kit/ServiceAddresses.h"
#include "kit/Settings.h"
#include "platform/VolumeMonitor.h"
#include "search/feeds/Feed.h"
#include "search/feeds/RSSLine.h"
#include "search/icons/AddressTrimmer.h"
#include "search/icons/PZFaviconLoader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTimer>
#include <csignal>
#include <cstdio>

using namespace ombrelay;

namespace {

void print(QJsonObject event)
{
    printf("%s\n", QJsonDocument(event).toJson(QJsonDocument::Compact).constData());
    fflush(stdout);
}

int fail(const QString& text)
{
    fprintf(stderr, "*** %s\n", qPrintable(text));
    return 1;
}

bool isLoopback(const QUrl& url)
{
    const QString host = url.host();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"data", "Application-support folder.", "DIR"});
    parser.addOption({"proxy", "HTTP proxy on loopback for every request.", "URL"});
    parser.addOption({"feed", "A feed to follow, repeatable.", "URL"});
    parser.addOption({"icon", "A site whose icon to load, repeatable.", "URL"});
    parser.addOption({"shorten", "An address to shorten.", "URL"});
    parser.addOption({"torrents", "Fetch the torrent files of the entries."});
    parser.addOption({"download", "Download those torrents; exit once all are complete."});
    parser.addOption({"run", "Seconds to run.", "S"});
    if (!parser.parse(app.arguments()))
        return fail(parser.errorText());
    if (!parser.isSet("data"))
        return fail(QStringLiteral("usage: ombrelay-feed-driver --data DIR [--proxy URL] [--feed URL]... [--icon URL]... "
                                   "[--shorten URL] [--torrents] [--download] [--run S]"));
    bool ok = true;
    const int seconds = parser.isSet("run") ? parser.value("run").toInt(&ok) : 0;
    if (!ok || seconds < 0)
        return fail(QStringLiteral("--run needs a number of seconds"));
    if (parser.isSet("proxy")) {
        const QUrl proxy(parser.value("proxy"));
        if (!isLoopback(proxy))
            return fail(QStringLiteral("the proxy must be on loopback"));
        qputenv("http_proxy", proxy.toEncoded());
        qputenv("no_proxy", "127.0.0.1,localhost");  // trackers and peers on loopback are reached directly
    } else {
        QStringList addresses = parser.values("feed") + parser.values("icon");
        if (parser.isSet("shorten"))
            addresses.append(QStringLiteral("http://%1/").arg(QLatin1String(service::kAddressShortenerHost)));
        for (const QString& address : addresses)
            if (!isLoopback(QUrl(address)))
                return fail(QStringLiteral("%1 is not on loopback and no loopback proxy is set").arg(address));
    }

    const QString data = QDir(parser.value("data")).absolutePath();
    const QString download = QDir(data).filePath(QStringLiteral("download"));
    if (!QDir().mkpath(data) || !QDir().mkpath(download))
        return fail(QStringLiteral("cannot create %1").arg(data));
    Settings::useFile(data + QStringLiteral("/Ombrelay.conf"));
    registerDefaultSettings(Settings::instance());
    AppPaths::setApplicationSupportPath(data);
    Settings::instance().setValue(QStringLiteral("save_directory"), download);
    std::signal(SIGTERM, [](int) { QCoreApplication::quit(); });
    std::signal(SIGINT, [](int) { QCoreApplication::quit(); });

    // The engine runs only to download.
    const bool downloading = parser.isSet("download");
    HeadlessEngineHost host;
    std::unique_ptr<DiskSession> session;
    std::unique_ptr<EngineServices> services;
    if (downloading) {
        EngineHost::install(&host);
        session = std::make_unique<DiskSession>(VolumeMonitor::instance());
        BTCore::Parts parts = BTCore::defaultParts();
        parts.makePortMapper = [](quint16) { return std::unique_ptr<PortMapper>(); };
        BTCore::useParts(std::move(parts));
        BTCore::Hooks hooks = session->hooks();
        services = installEngineServices(BTCore::instance(), hooks);
        BTCore::instance().setHooks(std::move(hooks));
    }

    QObject events;
    QSet<RSSLine*> started;
    QSet<RSSLine*> reported;
    QSet<RSSLine*> watched;
    const auto lineBecameTorrent = [&](const RSSLinePtr& line, Feed* feed) {
        if (line->isRSSArticleLine() || reported.contains(line.get()))
            return;
        reported.insert(line.get());
        print({{"event", "torrent"}, {"feed", feed->address()}, {"title", line->item()->string("title")},
               {"infoHash", QString::fromLatin1(line->infoHash().toHex())}, {"path", line->torrentPath()}});
        if (downloading && !started.contains(line.get())) {
            started.insert(line.get());
            line->performActionWithModifiers(Qt::NoModifier);
        }
    };
    const auto watchLines = [&](Feed* feed) {
        for (const FeedItemPtr& item : feed->items()) {
            const RSSLinePtr line = RSSLine::rssLineForItem(item);
            if (line->torrentAddress().isEmpty())
                continue;
            if (!watched.contains(line.get())) {
                watched.insert(line.get());
                QObject::connect(line.get(), &RSSLine::leafStateChanged, &events, [&, line, feed] {
                    if (line->hasFailed())
                        print({{"event", "torrent-failed"}, {"address", line->torrentAddress()}});
                    lineBecameTorrent(line, feed);
                });
            }
            line->loadTorrentEnclosure();
            lineBecameTorrent(line, feed);
        }
    };

    for (const QString& address : parser.values("feed")) {
        Feed* feed = Feed::feedWithAddress(address);
        NotificationCenter& center = NotificationCenter::defaultCenter();
        center.addObserver(&events, QStringLiteral("FeedWillLoadNotification"), [feed](const Notification&) {
            print({{"event", "feed-will-load"}, {"feed", feed->address()}});
        }, feed);
        center.addObserver(&events, QStringLiteral("FeedLoadErrorNotification"), [feed](const Notification&) {
            print({{"event", "feed-error"}, {"feed", feed->address()}});
        }, feed);
        center.addObserver(&events, QStringLiteral("FeedDataLoadedNotification"), [&, feed](const Notification&) {
            int fresh = 0;
            for (const FeedItemPtr& item : feed->items())
                fresh += item->isNew() ? 1 : 0;
            print({{"event", "feed-loaded"}, {"feed", feed->address()}, {"name", feed->name()},
                   {"items", int(feed->items().size())}, {"new", fresh}});
            if (parser.isSet("torrents") || downloading)
                watchLines(feed);
        }, feed);
    }
    NotificationCenter::defaultCenter().addObserver(&events, QStringLiteral("PZFaviconLoaderDidLoad"), [](const Notification& n) {
        const auto* loader = static_cast<PZFaviconLoader*>(n.object);
        print({{"event", "icon"}, {"host", loader->host()}, {"width", loader->favicon().width()},
               {"height", loader->favicon().height()}});
    });
    for (const QString& address : parser.values("icon")) {
        PZFaviconLoader* loader = PZFaviconLoader::loaderForURL(QUrl(address));
        if (!loader)
            continue;
        QObject::connect(loader, &PZHTTPLoader::completed, &events, [loader] {
            if (loader->favicon().isNull())
                print({{"event", "no-icon"}, {"host", loader->host()}, {"status", loader->statusCode()}});
        });
        QObject::connect(loader, &PZHTTPLoader::failed, &events, [loader] {
            print({{"event", "no-icon"}, {"host", loader->host()}, {"status", 0}});
        });
    }
    std::unique_ptr<AddressTrimmer> trimmer;
    if (parser.isSet("shorten")) {
        trimmer = std::make_unique<AddressTrimmer>(parser.value("shorten"));
        QObject::connect(trimmer.get(), &AddressTrimmer::trimmed, &events, [](AddressTrimmer* t) {
            print({{"event", "shortened"}, {"address", t->trimmedAddress()}});
        });
        QObject::connect(trimmer.get(), &PZHTTPLoader::failed, &events, [](PZHTTPLoader*, const HttpError& error) {
            print({{"event", "shorten-error"}, {"error", error.message}});
        });
    }

    int exitCode = 0;
    QTimer progress;
    if (downloading) {
        QObject::connect(&progress, &QTimer::timeout, &app, [&] {
            bool allComplete = !started.isEmpty();
            for (const TorrentLinePtr& t : host.objects()) {
                if (!t->errorText().isEmpty()) {
                    print({{"event", "download-error"}, {"infoHash", QString::fromLatin1(t->infoHash().toHex())},
                           {"error", t->errorText()}});
                    exitCode = 1;
                    app.quit();
                }
                allComplete = allComplete && t->isComplete();
            }
            allComplete = allComplete && host.objects().size() >= started.size();
            if (allComplete) {
                for (const TorrentLinePtr& t : host.objects())
                    print({{"event", "complete"}, {"infoHash", QString::fromLatin1(t->infoHash().toHex())}});
                app.quit();
            }
        });
        progress.start(200);
    }
    if (seconds > 0)
        QTimer::singleShot(seconds * 1000, &app, [&] {
            if (downloading) {
                fprintf(stderr, "*** downloads not complete after %d s\n", seconds);
                exitCode = 2;
            }
            app.quit();
        });

    app.exec();  // quitting saves the feeds (they listen for it)
    print({{"event", "saved"}, {"feeds", int(Feed::registeredFeeds().size())}});
    for (const TorrentLinePtr& t : host.objects())
        t->dropStorage();
    return exitCode;
}
