// A search pane at size: a search answered by 10 sites on loopback (served from another thread), 100
// torrent files each, fills the shown results list (the worst lateness of the main loop meanwhile, "worst_stall_ms", is to stay under
// 50 ms), then its grouping is switched (each switch, "mode_switch_ms", under 100 ms).
#include "engine/torrent/TorrentFixtures.h"
#include "kit/DefaultSettings.h"
#include "kit/PropertyList.h"
#include "kit/Settings.h"
#include "search/views/QueryOutlineView.h"
#include "search/views/QueryPaneController.h"
#include "support/HttpTestServer.h"
#include "support/LoopLateness.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

constexpr int kSites = 10;
constexpr int kResultsPerSite = 100;

void searchFillsTheShownListAndSwitchesModes(benchmark::State& state)
{
    QTemporaryDir folder;
    Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
    registerDefaultSettings(Settings::instance());
    // The sites answer from a thread of their own: their work is not the list's.
    QThread serverThread;
    serverThread.start();
    QObject serverSide;
    serverSide.moveToThread(&serverThread);
    std::unique_ptr<HttpTestServer> server;
    QVariantList sites;
    QMetaObject::invokeMethod(&serverSide, [&] {
        server = std::make_unique<HttpTestServer>();
        if (!server->listen())
            return;
        auto torrents = std::make_shared<QHash<QByteArray, QByteArray>>();
        for (int site = 0; site < kSites; ++site) {
            QByteArray page = "<html><body>";
            for (int n = 0; n < kResultsPerSite; ++n) {
                const QByteArray path = "/t/" + QByteArray::number(site) + "/" + QByteArray::number(n) + ".torrent";
                torrents->insert(path, metainfo(singleFileInfo(QStringLiteral("Result %1 of site %2.avi").arg(n).arg(site),
                                                               700'000'000 + n, 4 << 20)));
                page += "<a href=\"" + path + "\">result</a>\n";
            }
            const QByteArray sitePath = "/site" + QByteArray::number(site);
            server->route(sitePath, HttpTestResponse{200, {{"Content-Type", "text/html"}}, page + "</body></html>"});
            sites.append(QVariantMap{{QStringLiteral("name"), QStringLiteral("Site %1").arg(site)},
                                     {QStringLiteral("url"), server->url(sitePath + "?q=%@").toString()},
                                     {QStringLiteral("isEnabled"), QStringLiteral("1")},
                                     {QStringLiteral("type"), QStringLiteral("0")}});
        }
        server->setFallback([torrents](const HttpTestRequest& request) {
            const auto found = torrents->constFind(request.path);
            return found == torrents->constEnd() ? HttpTestResponse{404, {}, "not found"}
                                                 : HttpTestResponse{200, {{"Content-Type", "application/x-bittorrent"}}, *found};
        });
    }, Qt::BlockingQueuedConnection);
    const auto stopServer = qScopeGuard([&] {
        QMetaObject::invokeMethod(&serverSide, [&] { server.reset(); }, Qt::BlockingQueuedConnection);
        serverThread.quit();
        serverThread.wait();
    });
    if (sites.size() != kSites) {
        state.SkipWithError("no loopback server");
        return;
    }
    Settings::instance().setValue(QStringLiteral("kEnabledSystemModules"), QStringList());
    Settings::instance().setValue(QStringLiteral("kSearchSites"), PropertyList::toBinary(sites));

    qint64 worstStall = 0;
    qint64 worstSwitch = 0;
    for (auto _ : state) {
        Settings::instance().setValue(QStringLiteral("kClusterResultsA"), QStringLiteral("1"));
        QueryPaneController pane({{QStringLiteral("type"), QStringLiteral("Query")}, {QStringLiteral("name"), QStringLiteral("result")}});
        pane.contentView()->resize(900, 600);
        pane.contentView()->show();
        QApplication::processEvents();
        {
            LoopLateness lateness;
            pane.performSearch();
            if (!waitUntil([&] { return !pane.isActive() && pane.outlineView()->lines().size() == kSites * kResultsPerSite; },
                           120000)) {
                state.SkipWithError("the search did not fill the list");
                return;
            }
            QApplication::processEvents();
            worstStall = std::max(worstStall, lateness.worstMs());
        }
        for (const char* mode : {"0", "1"}) {
            QElapsedTimer timer;
            timer.start();
            Settings::instance().setValue(QStringLiteral("kClusterResultsA"), QLatin1String(mode));
            QApplication::processEvents();
            worstSwitch = std::max(worstSwitch, timer.elapsed());
        }
    }
    state.counters["worst_stall_ms"] = double(worstStall);
    state.counters["mode_switch_ms"] = double(worstSwitch);
}

}  // namespace

BENCHMARK(searchFillsTheShownListAndSwitchesModes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
