#pragma once

#include "app/frame/SourceItem.h"
#include "app/frame/SourceListStorage.h"
#include "engine/torrent/TorrentFixtures.h"
#include "kit/Settings.h"
#include "support/HttpTestServer.h"

#include <QColor>
#include <QDateTime>
#include <QLocale>

namespace ombrelay::test {

// A feed of three entries on the test server at "/rss", listed oldest, newest, middle; each encloses a
// torrent file of its own ("/t/old.torrent", ...) named as the entry, answered after `torrentDelayMs`.
inline void routeLoopbackFeed(HttpTestServer& server, int torrentDelayMs = 0)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QByteArray body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Loopback</title>";
    const std::pair<const char*, QDateTime> entries[] = {
        {"old", now.addDays(-3)}, {"new", now.addSecs(-3600)}, {"mid", now.addDays(-1)}};
    for (const auto& [name, date] : entries) {
        body += QByteArray("<item><title>") + name + "</title><guid>" + name + "</guid><pubDate>" +
                QLocale::c().toString(date, "ddd, dd MMM yyyy hh:mm:ss").toLatin1() + " +0000</pubDate>" +
                "<enclosure url=\"" + server.url(QByteArray("/t/") + name + ".torrent").toEncoded() +
                "\" type=\"application/x-bittorrent\"/></item>";
        HttpTestResponse torrent{200, {}, metainfo(singleFileInfo(QString::fromLatin1(name), 30000))};
        torrent.delayMs = torrentDelayMs;
        server.route(QByteArray("/t/") + name + ".torrent", torrent);
    }
    server.route("/rss", HttpTestResponse{200, {{"Content-Type", "application/rss+xml"}}, body + "</channel></rss>"});
}

// The background of the article's page, told apart on a picture of the screen.
inline const QColor kArticlePageColour(30, 140, 90);

// A feed of one article at "/articles": its link is the page "/page" of the server, all of it in
// kArticlePageColour.
inline void routeArticleFeed(HttpTestServer& server)
{
    const QByteArray body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Articles</title>"
                            "<item><title>Read me</title><guid>read-me</guid><link>" + server.url("/page").toEncoded() +
                            "</link></item></channel></rss>";
    server.route("/articles", HttpTestResponse{200, {{"Content-Type", "application/rss+xml"}}, body});
    server.route("/page",
                 HttpTestResponse{200,
                                  {{"Content-Type", "text/html"}},
                                  "<html><head><title>The article</title></head><body style=\"background:" +
                                      kArticlePageColour.name().toLatin1() + "\">Text</body></html>"});
}

// The torrent files asked of the server, in order.
inline QList<QByteArray> torrentRequests(const HttpTestServer& server)
{
    QList<QByteArray> paths;
    for (const HttpTestRequest& request : server.requests())
        if (request.path.startsWith("/t/"))
            paths.append(request.path);
    return paths;
}

// A sidebar holding only the subscription to the server's feed at `path`, in the settings the application reads.
inline void storeFeedItem(Settings& settings, const HttpTestServer& server, const QString& name,
                          const QByteArray& path = "/rss")
{
    std::unique_ptr<SourceItem> root = SourceItem::makeGroup({}, {});
    root->insertChild(0, SourceItem::makeRSS(name, server.url(path).toString()));
    SourceListStorage::save(settings, *root);
    settings.sync();
}

}  // namespace ombrelay::test
