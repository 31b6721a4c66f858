#pragma once

#include "engine/torrent/TorrentFakes.h"
#include "engine/torrent/TorrentFixtures.h"
#include "kit/AppPaths.h"
#include "search/RegisteredFeeds.h"
#include "search/feeds/RSSTorrentCache.h"
#include "search/feeds/RSSTorrentFetchQueue.h"
#include "support/HttpTestServer.h"
#include "support/WaitUntil.h"

#include <QDateTime>
#include <QLocale>
#include <QTemporaryDir>

namespace ombrelay::test {

// A feed served through the test server as proxy ("http://feeds.test/rss"): entries whose torrent
// files load (newest first: "New", "Mid", "Old", "Older"), an article and one whose file never comes.
class FeedPaneFixture : public EngineFakes
{
protected:
    void SetUp() override
    {
        EngineFakes::SetUp();
        // Fetches left running by an earlier test would hold the queue's places, and this test's would
        // then start in the queue's own order rather than as the pane asks for them.
        ASSERT_TRUE(waitUntil([] {
            const RSSTorrentFetchQueue& fetches = RSSTorrentFetchQueue::instance();
            return fetches.runningCount() == 0 && fetches.waitingCount() == 0;
        }, 15000)) << "an earlier test's torrent fetches still run";
        ASSERT_TRUE(data.isValid());
        AppPaths::setApplicationSupportPath(data.path());
        RSSTorrentCache::setCachePathForTesting(data.filePath("RSSTorrentCache"));
        ASSERT_TRUE(server.listen());
        qputenv("http_proxy", server.url("/").toString(QUrl::RemovePath).toLatin1());
        qunsetenv("no_proxy");
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QByteArray body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Feed</title>";
        const auto entry = [&](const char* title, const QDateTime& date, const QByteArray& torrent) {
            body += QByteArray("<item><title>") + title + "</title><guid>" + title + "</guid><pubDate>" +
                    QLocale::c().toString(date, "ddd, dd MMM yyyy hh:mm:ss").toLatin1() + " +0000</pubDate>";
            if (torrent.isEmpty())
                body += "<link>http://feeds.test/page</link>";
            else
                body += "<enclosure url=\"http://feeds.test/" + torrent + "\" type=\"application/x-bittorrent\"/>";
            body += "</item>";
        };
        entry("Older", now.addDays(-30), "older.torrent");
        entry("Old", now.addDays(-4), "old.torrent");
        entry("Silent", now.addDays(-3), "silent.torrent");
        entry("Article", now.addSecs(-7200), {});
        entry("Mid", now.addDays(-1), "mid.torrent");
        entry("New", now.addSecs(-3600), "new.torrent");
        server.route("/rss", HttpTestResponse{200, {{"Content-Type", "application/rss+xml"}}, body + "</channel></rss>"});
        for (const char* name : {"older", "old", "mid", "new"}) {
            QList<FileSpec> files = {{{QStringLiteral("%1-a.mp3").arg(name)}, 40000}, {{QStringLiteral("b.txt")}, 100}};
            server.route(QByteArray("/") + name + ".torrent", HttpTestResponse{200, {}, metainfo(multiFileInfo(name, files))});
        }
        server.route("/silent.torrent", HttpTestResponse{200, {}, {}, 0, true});
    }
    void TearDown() override
    {
        removeRegisteredFeeds();
        RSSTorrentCache::setCachePathForTesting({});
        qunsetenv("http_proxy");
        EngineFakes::TearDown();
    }

    // The torrent files asked for, in order.
    QList<QByteArray> torrentRequests() const
    {
        QList<QByteArray> paths;
        for (const HttpTestRequest& request : server.requests())
            if (request.path.endsWith(".torrent"))
                paths.append(request.path);
        return paths;
    }

    QVariantMap item() const
    {
        return {{"name", "Feed"}, {"url", "http://feeds.test/rss"}, {"type", "RSS"}};
    }

    QTemporaryDir data;
    HttpTestServer server;
};

}  // namespace ombrelay::test
