// ombrelay-search-driver --data DIR [--proxy URL] [--site NAME=TEMPLATE]... [--enable ID]... [--scrape]
//                        [--refresh] [--timeout S] (--query TEXT | --magnet URI)
// Runs a search (or resolves a magnet link) without a window and prints tab-separated lines:
//   page <site> <address> <links>, result <site> <hash> <bytes> <address> <name>, swarm <hash> <seeds>
//   <leeches>, done <results>, match <address> | nomatch, stall <worst main-loop lateness in ms>.
// Exits 0 when done (or matched), 2 on time-out, 3 without search sites, 4 without a match, 1 on error.
// It refuses to run unless every host it starts from is loopback or a loopback proxy is given; without a
// proxy, other hosts are sent to a closed loopback port, so no connection leaves the machine.

#include "engine/core/TrackerService.h"
#include "engine/torrent/TorrentLine.h"
#include "engine/tracker/AnnouncePeers.h"
#include "engine/tracker/HttpTrackerService.h"
#include "kit/DefaultSettings.h"
#include "kit/NotificationCenter.h"
#include "kit/PropertyList.h"
#include "kit/ServiceAddresses.h"
#include "kit/Settings.h"
#include "kit/TextHelpers.h"
#include "search/MagnetResolver.h"
#include "search/QueryController.h"
#include "search/SearchSiteScraper.h"
#include "search/SearchSites.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QSet>
#include <QTimer>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ombrelay;

namespace {

int fail(const QString& text)
{
    fprintf(stderr, "*** %s\n", qPrintable(text));
    return 1;
}

void print(const QStringList& fields)
{
    printf("%s\n", qPrintable(fields.join(QLatin1Char('\t'))));
    fflush(stdout);
}

bool isLoopbackHost(const QString& host)
{
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

// A loopback port that refuses every connection: bound, never listening. Stays open until exit.
quint16 closedLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

void useProxy(const QByteArray& proxy, const QByteArray& direct)
{
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "HTTPS_PROXY", "ALL_PROXY"})
        qputenv(name, proxy);
    qunsetenv("HTTP_PROXY");
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        if (direct.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, direct);
    }
}

// Nothing announces from here: the trackers are only asked for swarm sizes.
class NoPeers : public AnnouncePeers
{
public:
    QByteArray peerId(const TorrentLine&) override { return QByteArray(20, '-'); }
    void addPeers(TorrentLine&, const QList<AnnounceReply::Peer>&) override {}
};

// The worst lateness of a 10 ms timer: how long the main loop was kept from running.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_clock.start();
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.elapsed();
            m_worst = std::max(m_worst, now - m_last - kIntervalMs);
            m_last = now;
        });
        m_timer.start(kIntervalMs);
    }
    qint64 worst() const { return std::max<qint64>(0, m_worst); }

private:
    static constexpr int kIntervalMs = 10;
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_worst = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"data", "Folder holding Ombrelay.conf.", "DIR"});
    parser.addOption({"proxy", "A loopback HTTP proxy for every request.", "URL"});
    parser.addOption({"site", "A search site, repeatable.", "NAME=TEMPLATE"});
    parser.addOption({"enable", "Enable a built-in site, repeatable.", "ID"});
    parser.addOption({"scrape", "Ask the results' trackers for swarm sizes."});
    parser.addOption({"refresh", "Search once more after the first search ends."});
    parser.addOption({"timeout", "Give up after this many seconds.", "S"});
    parser.addOption({"query", "The search text.", "TEXT"});
    parser.addOption({"magnet", "A magnet link to find the torrent file of.", "URI"});
    if (!parser.parse(app.arguments()))
        return fail(parser.errorText());
    if (!parser.isSet("data") || parser.isSet("query") == parser.isSet("magnet"))
        return fail(QStringLiteral("usage: ombrelay-search-driver --data DIR [--proxy URL] [--site NAME=TEMPLATE]... "
                                   "[--enable ID]... [--scrape] [--refresh] [--timeout S] (--query TEXT | --magnet URI)"));
    bool ok = true;
    const int timeout = parser.isSet("timeout") ? parser.value("timeout").toInt(&ok) : 60;
    if (!ok || timeout <= 0)
        return fail(QStringLiteral("--timeout needs a number of seconds"));

    // The sites, and every host a search starts from.
    QVariantList userSites;
    QStringList hosts;
    for (const QString& value : parser.values("site")) {
        const qsizetype equals = value.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return fail(QStringLiteral("--site needs NAME=TEMPLATE"));
        const QString pattern = value.mid(equals + 1);
        userSites.append(QVariantMap{{QStringLiteral("name"), value.left(equals)}, {QStringLiteral("url"), pattern},
                                     {QStringLiteral("isEnabled"), QStringLiteral("1")},
                                     {QStringLiteral("type"), QStringLiteral("0")}});
        hosts.append(SearchSites::addressFromText(SearchSites::filledTemplate(pattern, {})).host());
    }
    const QStringList enabled = parser.values("enable");
    for (const QVariantMap& site : SearchSites::systemSearchModules()) {
        if (!enabled.contains(site.value(QStringLiteral("identifier")).toString()))
            continue;
        for (const QString& pattern : site.value(QStringLiteral("urls")).toStringList())
            hosts.append(QUrl(pattern).host());
    }
    if (parser.isSet("magnet"))
        hosts.append(QLatin1String(service::kWebSearchHost));

    if (parser.isSet("proxy")) {
        const QUrl proxy(parser.value("proxy"));
        if (proxy.scheme() != QLatin1String("http") || !isLoopbackHost(proxy.host()))
            return fail(QStringLiteral("--proxy must be an http address on loopback"));
        useProxy(proxy.toEncoded(), {});
    } else {
        for (const QString& host : hosts)
            if (!isLoopbackHost(host))
                return fail(QStringLiteral("%1 is not on loopback; give a loopback --proxy").arg(host));
        const quint16 closed = closedLoopbackPort();
        if (!closed)
            return fail(QStringLiteral("no loopback port to refuse other hosts with"));
        useProxy("http://127.0.0.1:" + QByteArray::number(closed), "localhost,127.0.0.1");
    }

    const QString data = QDir(parser.value("data")).absolutePath();
    if (!QDir().mkpath(data))
        return fail(QStringLiteral("cannot create %1").arg(data));
    Settings::useFile(data + QStringLiteral("/Ombrelay.conf"));
    Settings& settings = Settings::instance();
    registerDefaultSettings(settings);
    settings.setValue(QStringLiteral("kEnabledSystemModules"), enabled);
    settings.setValue(QStringLiteral("kSearchSites"), PropertyList::toBinary(userSites));

    NoPeers peers;
    HttpTrackerService trackers(peers, [] { return quint16(6881); });
    TrackerService::install(&trackers);
    StallMeter stalls;
    int exitCode = -1;
    const auto finish = [&](int code) {
        if (exitCode >= 0)
            return;
        exitCode = code;
        print({QStringLiteral("stall"), QString::number(stalls.worst())});
        QTimer::singleShot(0, &app, [&] { app.exit(exitCode); });
    };
    QTimer::singleShot(timeout * 1000, &app, [&] { finish(2); });

    MagnetResolver resolver;
    if (parser.isSet("magnet")) {
        QObject::connect(&resolver, &MagnetResolver::resolved, &app, [&](const QString& address, const QByteArray&) {
            print({QStringLiteral("match"), address});
            finish(0);
        });
        QObject::connect(&resolver, &MagnetResolver::unresolved, &app, [&] {
            print({QStringLiteral("nomatch")});
            finish(4);
        });
        resolver.start(parser.value("magnet"));
        const int code = app.exec();
        TrackerService::install(nullptr);
        return code;
    }

    QueryController controller({{QStringLiteral("name"), parser.value("query")}});
    const bool scrape = parser.isSet("scrape");
    bool refresh = parser.isSet("refresh");
    QSet<const QObject*> swarmed;
    listenForNotification(&controller, QStringLiteral("TorrentLineSwarmSizeUpdated"), [&](const Notification& n) {
        const auto* line = qobject_cast<const TorrentLine*>(n.object);
        if (!line)
            return;
        swarmed.insert(line);
        print({QStringLiteral("swarm"), hexString(line->infoHash()), QString::number(line->seeds()),
               QString::number(line->leeches())});
    });
    QObject::connect(&controller, &QueryController::lineAdded, &app,
                     [&](SearchSiteScraper* scraper, const TorrentLinePtr& line) {
        print({QStringLiteral("result"), SearchSites::nameForSearchSite(scraper->searchSite()),
               hexString(line->infoHash()), QString::number(line->totalLength()), line->torrentAddress(),
               line->path()});
    });
    QObject::connect(&controller, &QueryController::noSearchSites, &app, [&] { finish(3); });
    // Scrapes end with a swarm size, or with hasScraped() cleared when every tracker failed.
    QTimer scrapeWatch;
    QObject::connect(&scrapeWatch, &QTimer::timeout, &app, [&] {
        for (const TorrentLinePtr& line : controller.lines())
            if (line->hasScraped() && !swarmed.contains(line.get()))
                return;
        finish(0);
    });
    QObject::connect(&controller, &QueryController::activityChanged, &app, [&](bool active) {
        if (active)
            return;
        print({QStringLiteral("done"), QString::number(controller.lines().size())});
        if (refresh) {
            refresh = false;
            return QTimer::singleShot(0, &controller, [&] { controller.refreshContents(); });
        }
        if (scrape)
            scrapeWatch.start(50);
        else
            finish(0);
    });
    controller.setScrapesTrackers(scrape);
    controller.performSearch();
    for (SearchSiteScraper* scraper : controller.scrapers())
        QObject::connect(scraper, &SearchSiteScraper::pageScraped, &app, [scraper](const QUrl& address, int links) {
            print({QStringLiteral("page"), SearchSites::nameForSearchSite(scraper->searchSite()),
                   address.toString(QUrl::FullyEncoded), QString::number(links)});
        });
    const int code = app.exec();
    controller.close();
    TrackerService::install(nullptr);
    return code;
}
