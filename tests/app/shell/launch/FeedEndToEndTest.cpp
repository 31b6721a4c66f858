// Feeds in the application as a user runs it, under a private X server: a stored subscription served on
// loopback lists its entries, counts them in the sidebar and opens its articles in web tabs.
#include "app/shell/launch/AppOnScreen.h"
#include "app/shell/launch/LoopbackFeed.h"
#include "app/web/WebCookieFile.h"
#include "engine/torrent/Metainfo.h"
#include "support/HttpTestServer.h"
#include "support/Pictures.h"
#include "support/TestFiles.h"
#include "support/WebPagesEnvironment.h"

#include <optional>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class FeedEndToEnd : public AppOnScreen
{
protected:
    // Ctrl+1 in the main window, which selects the first feed with something to show; the window's frame
    // on the screen.
    std::optional<QRect> showFirstFeed()
    {
        const auto window = mainWindow();
        if (!window)
            return std::nullopt;
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window->first});
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+1")});
        return window->second;
    }
    // The application with web pages set up as every web test has them.
    std::unique_ptr<WatchedProcess> launchForInput()
    {
        QProcessEnvironment env = environment();
        addWebPagesEnvironment(env);
        return launch({}, env);
    }
    // Shows the stored article feed and double-clicks its entry, whose page opens in a web tab; the window's
    // frame once the server was asked for the page.
    std::optional<QRect> openTheArticle(WatchedProcess& app, const HttpTestServer& server, const QString& picture)
    {
        const std::optional<QRect> window = showFirstFeed();
        const QImage screen = window ? feedPaneDrawn(*window, picture) : QImage();
        if (screen.isNull())
            return std::nullopt;
        // The entry's row: where its new mark, the blue dot of the last column, is drawn.
        QPoint row;
        for (int y = window->top(); y < window->center().y() && row.isNull(); ++y)
            for (int x = window->right() - 75; x < window->right() - 30 && row.isNull(); ++x)
                if (nearColor(screen.pixel(x, y), QColor(70, 124, 204), 40))
                    row = QPoint(window->center().x(), y + 2);
        if (row.isNull()) {
            ADD_FAILURE() << "no new mark in " << picture.toStdString();
            return std::nullopt;
        }
        xdotool({QStringLiteral("mousemove"), QString::number(row.x()), QString::number(row.y()),
                 QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("1")});
        const auto pageAsked = [&] {
            const QList<HttpTestRequest> requests = server.requests();
            return std::any_of(requests.begin(), requests.end(), [](const HttpTestRequest& r) { return r.path == "/page"; });
        };
        return app.waitFor(pageAsked, 30000) ? window : std::nullopt;
    }
    // Pictures of the screen in `picture` until the article page fills much of the window, in its colour;
    // the last one, null when none showed it.
    QImage articlePageDrawn(const QRect& window, const QString& picture)
    {
        return screenPictureShowing(picture, [&](const QImage& shown) {
            int pagePixels = 0;
            for (int y = window.top(); y <= window.bottom(); y += 2)
                for (int x = window.left(); x <= window.right(); x += 2)
                    pagePixels += shown.valid(x, y) && nearColor(shown.pixel(x, y), kArticlePageColour, 8) ? 1 : 0;
            return pagePixels * 4 > window.width() * window.height() / 4;
        });
    }
    // Pictures of the screen in `picture` until a feed pane shows in the window (the dark bar above the
    // status bar at its bottom); the last one, null when none showed it.
    QImage feedPaneDrawn(const QRect& window, const QString& picture)
    {
        const QPoint bar(window.center().x(), window.bottom() + 1 - 16 - 12);
        return screenPictureShowing(picture, [&](const QImage& screen) {
            return screen.rect().contains(bar) && qGray(screen.pixel(bar)) < 130;
        });
    }
};

}  // namespace

// A subscription stored in the sidebar, its feed on a loopback server: Ctrl+1 shows it, which asks for
// the entries' torrents newest first; the sidebar counts 3 new entries, and the pane's Mark All Read
// button clears the count.
TEST_F(FeedEndToEnd, AStoredFeedShowsItsEntriesAndMarkAllReadClearsItsCount)
{
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    routeLoopbackFeed(server);
    writeSettings();
    storeFeedItem(Settings::instance(), server, QStringLiteral("Loopback"));

    auto app = launchForInput();
    ASSERT_TRUE(app->waitFor([this] { return windowIsShown(); }, 20000))
        << "no window on " << display->display().toStdString() << ": " << app->output().right(2000).toStdString();
    ASSERT_TRUE(app->waitForText(QStringLiteral("Feed \"Loopback\": 3 listed, 3 new"), 20000))
        << app->output().right(2000).toStdString();
    EXPECT_TRUE(torrentRequests(server).isEmpty()) << "nothing is fetched for a feed not shown";

    const std::optional<QRect> window = showFirstFeed();
    ASSERT_TRUE(window);
    ASSERT_TRUE(app->waitFor([&] { return torrentRequests(server).size() == 3; }, 15000))
        << app->output().right(2000).toStdString();
    EXPECT_EQ(torrentRequests(server), QList<QByteArray>({"/t/new.torrent", "/t/mid.torrent", "/t/old.torrent"}));

    // The window's bottom bar holds Mark All Read at its right end.
    const int right = window->right() + 1;
    const int bottom = window->bottom() + 1;
    const QString picture = picturePath("OMBRELAY_FEED_WINDOW_PICTURE", QStringLiteral("app-feed-pane.png"));
    EXPECT_FALSE(feedPaneDrawn(*window, picture).isNull()) << "no feed pane bottom bar in " << picture.toStdString();

    xdotool({QStringLiteral("mousemove"), QString::number(right - 30), QString::number(bottom - 16 - 12),
             QStringLiteral("click"), QStringLiteral("1")});
    EXPECT_TRUE(app->waitForText(QStringLiteral("Feed \"Loopback\": 3 listed, 0 new"), 10000))
        << app->output().right(2000).toStdString();
    EXPECT_TRUE(app->terminate(20000)) << app->output().right(6000).toStdString();
}

// A feed entry without a torrent is an article: a double-click on it opens its page in a new web tab of
// the feed's pane.
TEST_F(FeedEndToEnd, AFeedArticleOpensItsPageInAWebTabOfThePane)
{
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    routeArticleFeed(server);
    writeSettings();
    storeFeedItem(Settings::instance(), server, QStringLiteral("Articles"), "/articles");

    auto app = launchForInput();
    ASSERT_TRUE(app->waitFor([this] { return windowIsShown(); }, 20000))
        << "no window on " << display->display().toStdString() << ": " << app->output().right(2000).toStdString();
    ASSERT_TRUE(app->waitForText(QStringLiteral("Feed \"Articles\": 1 listed, 1 new"), 20000))
        << app->output().right(2000).toStdString();
    const QString picture = picturePath("OMBRELAY_FEED_ARTICLE_PICTURE", QStringLiteral("app-feed-article.png"));
    const std::optional<QRect> window = openTheArticle(*app, server, picture);
    ASSERT_TRUE(window) << app->output().right(3000).toStdString();
    // The page fills the pane's new tab: much of the window takes its colour.
    EXPECT_FALSE(articlePageDrawn(*window, picture).isNull())
        << "no article page in " << picture.toStdString();
    EXPECT_TRUE(app->terminate(20000)) << app->output().right(6000).toStdString();
}

// A page that logs the user in leaves a cookie; the next launch sends it with its torrent fetches before
// any page is shown: a magnet link handed to it finds the torrent that the site serves only to members.
TEST_F(FeedEndToEnd, ACookieAPageLeftGoesWithTheNextLaunchsFetchesBeforeAnyPage)
{
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    routeArticleFeed(server);
    server.route("/page", HttpTestResponse{200, {{"Content-Type", "text/html"}, {"Set-Cookie", "member=yes; Path=/; Max-Age=86400"}},
                                           "<html><head><title>Welcome</title></head><body style=\"background:" +
                                               kArticlePageColour.name().toLatin1() + "\">Logged in</body></html>"});
    const QByteArray members = metainfo(singleFileInfo(QStringLiteral("members.iso"), 300000));
    server.route("/members.torrent", [&](const HttpTestRequest& request) {
        return request.header("Cookie") == "member=yes" ? HttpTestResponse{200, {}, members}
                                                         : HttpTestResponse{403, {}, "members only"};
    });
    // The hash lookup (through the proxy) lists the members' torrent file.
    server.route("/search", HttpTestResponse{200, {{"Content-Type", "text/html"}},
                                             "<html><a href='" + server.url("/members.torrent").toEncoded() + "'>t</a></html>"});
    writeSettings();
    storeFeedItem(Settings::instance(), server, QStringLiteral("Articles"), "/articles");
    {
        auto app = launchForInput();
        ASSERT_TRUE(app->waitForText(QStringLiteral("Feed \"Articles\": 1 listed, 1 new"), 20000))
            << app->output().right(2000).toStdString();
        const QString picture = picturePath("OMBRELAY_FEED_LOGIN_PICTURE", QStringLiteral("app-feed-login.png"));
        const std::optional<QRect> window = openTheArticle(*app, server, picture);
        ASSERT_TRUE(window) << app->output().right(3000).toStdString();
        // Shown, so its answer and the cookie in it were taken in.
        EXPECT_FALSE(articlePageDrawn(*window, picture).isNull()) << "no login page in " << picture.toStdString();
        EXPECT_TRUE(app->terminate(20000)) << app->output().right(6000).toStdString();
    }
    const QList<HttpCookieStore::Cookie> kept = WebCookieFile::read(path("data") + QStringLiteral("/Ombrelay/WebEngine/Cookies"));
    EXPECT_TRUE(std::any_of(kept.begin(), kept.end(), [](const HttpCookieStore::Cookie& c) { return c.name == "member"; }))
        << "the cookie is kept in the web profile's file";
    const auto memberFetches = [&] {
        QList<QByteArray> cookies;
        for (const HttpTestRequest& request : server.requests())
            if (request.path == "/members.torrent")
                cookies.append(request.header("Cookie"));
        return cookies;
    };
    QProcessEnvironment env = environment();
    addWebPagesEnvironment(env);
    env.insert(QStringLiteral("http_proxy"), server.url("/").toString());
    const QString magnet = "magnet:?xt=urn:btih:" + QString::fromLatin1(Metainfo::read(members)->infoHash.toHex()) + "&dn=members";
    auto app = launch({magnet}, env);
    EXPECT_TRUE(app->waitFor([&] { return !memberFetches().isEmpty(); }, 30000)) << app->output().right(3000).toStdString();
    EXPECT_EQ(memberFetches(), QList<QByteArray>{"member=yes"});
    EXPECT_TRUE(app->terminate(20000)) << app->output().right(6000).toStdString();
}
