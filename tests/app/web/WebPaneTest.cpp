// Web tabs under a private X server against the loopback test server. Each outer test starts Xvfb and runs
// one inner test of this program on it with Chromium on software drawing, no background networking and a
// fresh profile; inner tests skip when run on their own.
#include "app/frame/KoContentView.h"
#include "app/tabs/DelayedProgressIndicator.h"
#include "app/tabs/MainPaneController.h"
#include "app/tabs/PZSquareTabButton.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/toolbar/BackForwardButton.h"
#include "app/toolbar/KoMainToolbarDelegate.h"
#include "app/toolbar/LocationField.h"
#include "app/toolbar/RSSToolbarButton.h"
#include "app/web/DefaultBrowser.h"
#include "app/web/MainWebView.h"
#include "app/web/WebController.h"
#include "app/web/WebHooks.h"
#include "app/web/WebProfile.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/OBDefaults.h"
#include "kit/Settings.h"
#include "kit/http/HttpCookieStore.h"
#include "kit/http/PZHTTPLoaderQueued.h"
#include "search/SearchSites.h"
#include "support/HttpTestServer.h"
#include "support/Pictures.h"
#include "uikit/WebStatusBar.h"
#include "support/PrivateDisplay.h"
#include "support/TestFiles.h"
#include "support/UrlRecorder.h"
#include "support/WaitUntil.h"
#include "support/WebPagesEnvironment.h"

#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QToolBar>
#include <QToolButton>
#include <QProcessEnvironment>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <gtest/gtest.h>
#include <csignal>
#include <optional>
#include <unistd.h>

namespace ombrelay::test {
namespace {

const char* kChild = "OMBRELAY_WEB_CHILD";

#define RUN_UNDER_XVFB(test)                                                                                 \
    TEST(WebPane, test)                                                                                      \
    {                                                                                                        \
        expectPassOnPrivateDisplay("WebPaneInner." #test, webChildEnvironment(kChild), 120000);              \
    }

RUN_UNDER_XVFB(NavigationStaysInThePane)
RUN_UNDER_XVFB(DiversionsAndCookies)
RUN_UNDER_XVFB(Screenshots)
RUN_UNDER_XVFB(AForeignSchemeLoopCannotHoldTheUser)

QByteArray page(const QByteArray& title, const QByteArray& body)
{
    return "<html><head><title>" + title + "</title></head><body style='margin:0'>" + body + "</body></html>";
}

HttpTestResponse html(const QByteArray& title, const QByteArray& body = {})
{
    return {200, {{"Content-Type", "text/html"}}, page(title, body)};
}

// A block link at the page's top left, at `top` pixels down, 300 x 80.
QByteArray blockLink(const QByteArray& href, int top, const QByteArray& target = {})
{
    return "<a href='" + href + "'" + (target.isEmpty() ? "" : " target='" + target + "'")
        + " style='position:absolute;left:0;top:" + QByteArray::number(top)
        + "px;width:300px;height:80px;display:block;background:#ccd'>link</a>";
}

// The inner tests' world: fresh settings and data folder, the test server as everybody's proxy, hooks
// that record, and one search pane in a window.
class WebPaneInner : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet(kChild))
            GTEST_SKIP() << "runs under WebPane's private display";
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(m_server.listen());
        qputenv("http_proxy", m_server.url("/").toString().toUtf8());
        Settings::useFile(m_folder.filePath("settings.conf"));
        registerDefaultSettings(Settings::instance());
        OBDefaults::loadDefaults();
        AppPaths::setApplicationSupportPath(m_folder.filePath("data"));
        WebProfile::shared()->setDownloadPath(m_folder.filePath("downloads"));
        WebHooks::instance().openTorrentAddress = [this](const QUrl& url) { m_torrents << url; };
        WebHooks::instance().addFeed = [this](const QUrl& url) { m_feeds << url; };
        WebHooks::instance().handleURLEvent = [this](const QUrl& url) { m_urlEvents << url; };
        MainPaneController::setQueryControllerMaker([](const QVariantMap&) { return new ResultsPane; });
    }

    struct ResultsPane : PZViewController
    {
        ResultsPane()
        {
            setTitle(QStringLiteral("Results"));
            auto* list = new QTreeWidget;
            list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size")});
            for (const char* name : {"ubuntu-24.04-desktop-amd64.iso", "debian-12.5.0-amd64-netinst.iso"})
                list->addTopLevelItem(new QTreeWidgetItem(QStringList{name, QStringLiteral("1.2 GB")}));
            setContentView(list);
        }
        ~ResultsPane() override { delete contentView(); }
    };

    // A search pane whose user sites are these templates, shown in a window `width` wide.
    void showPane(const QStringList& templates, int width)
    {
        QList<QVariantMap> sites;
        for (int i = 0; i < templates.size(); ++i)
            sites << QVariantMap{{"name", QStringLiteral("Site %1").arg(i + 1)}, {"url", templates[i]}, {"type", "1"}, {"isEnabled", "1"}};
        SearchSites::instance().setUserModules(sites);
        m_pane = std::make_unique<MainPaneController>(QVariantMap{{"type", "Query"}, {"name", "ubuntu"}});
        auto* content = new KoContentView;
        content->setSettings(&Settings::instance());
        m_window.setCentralWidget(content);
        content->showMainPane(m_pane->mainPaneView());
        m_window.resize(width, 460);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    WebController* web(int tab) const
    {
        return qobject_cast<WebController*>(m_pane->tabView()->tabs().value(tab)->controller());
    }

    static bool loaded(WebController* controller, const QString& title)
    {
        return waitUntil([&] { return controller && controller->webView()->title() == title; }, 20000);
    }

    // Moves the mouse over the page's point until Chromium reports `link` under it.
    static bool hover(WebController* controller, QPoint at, const QString& link)
    {
        QWidget* input = controller->webView()->focusProxy();
        return input && waitUntil([&] {
            QTest::mouseMove(input, at + QPoint(controller->webView()->hoveredLink().isEmpty() ? 1 : 0, 0));
            QTest::mouseMove(input, at);
            spinFor(50);
            return controller->webView()->hoveredLink() == link;
        }, 10000);
    }

    QTemporaryDir m_folder;
    HttpTestServer m_server;
    QMainWindow m_window;
    std::unique_ptr<MainPaneController> m_pane;
    QList<QUrl> m_torrents, m_feeds, m_urlEvents;
};

TEST_F(WebPaneInner, NavigationStaysInThePane)
{
    m_server.route("/start", html("Start", blockLink("/second", 0, "_blank") + blockLink("/third", 200)));
    m_server.route("/second", html("Second"));
    m_server.route("/third", html("Third"));
    m_server.route("/popup", html("Popup"));
    m_server.route("/loop", html("Loop", "<script>"
        "for (let i = 0; i < 50; ++i) { try { location = 'ombrelaysearch:spam' + i; } catch (e) {} window.open('/popup'); alert('x'); }"
        "setInterval(() => { location = 'magnet:?xt=urn:btih:0'; window.open('/popup'); alert('y'); confirm('z'); }, 10);"
        "</script>"));
    m_server.route("site.invalid", "/", html("Invalid"));
    showPane({m_server.url("/start").toString() + "?q=%@"}, 800);
    ASSERT_EQ(m_pane->tabView()->tabs().size(), 2);
    m_pane->tabView()->selectButtonAtIndex(1);
    WebController* start = web(1);
    ASSERT_TRUE(loaded(start, "Start"));
    EXPECT_EQ(start->webView()->url(), QUrl(m_server.url("/start").toString() + "?q=ubuntu"));
    EXPECT_EQ(start->title(), "Site 1");  // the site's name until the tab can go back

    // target=_blank: the same tab.
    ASSERT_TRUE(hover(start, {40, 40}, m_server.url("/second").toString()));
    QTest::mouseClick(start->webView()->focusProxy(), Qt::LeftButton, {}, {40, 40});
    ASSERT_TRUE(loaded(start, "Second"));
    EXPECT_EQ(m_pane->tabView()->tabs().size(), 2);
    EXPECT_EQ(start->title(), "Second");

    // Ctrl+click: a background tab; the page stays.
    start->webView()->load(m_server.url("/start"));
    ASSERT_TRUE(loaded(start, "Start"));
    ASSERT_TRUE(hover(start, {40, 240}, m_server.url("/third").toString()));
    QTest::mouseClick(start->webView()->focusProxy(), Qt::LeftButton, Qt::ControlModifier, {40, 240});
    ASSERT_TRUE(waitUntil([&] { return m_pane->tabView()->tabs().size() == 3; }, 5000));
    EXPECT_TRUE(loaded(web(2), "Third"));
    EXPECT_EQ(m_pane->tabView()->selectedIndex(), 1);
    EXPECT_EQ(start->webView()->title(), "Start");

    // Shift sends a link to the browser, as the status bar says: with Ctrl held too, behind the window (the
    // desktop's opener, here a stand-in, starts it at time 0); with the middle button, in front.
    QTemporaryDir bin;
    const QString opener = bin.filePath("xdg-open");
    ASSERT_TRUE(writeFile(opener, "#!/bin/sh\necho \"$1 $DESKTOP_STARTUP_ID\" >> \"$0.log\"\n"));
    QFile::setPermissions(opener, QFile::ReadOwner | QFile::ExeOwner);
    qputenv("PATH", bin.path().toUtf8() + ":" + qgetenv("PATH"));
    UrlRecorder browserInFront;
    const QString third = m_server.url("/third").toString();
    QWidget* input = start->webView()->focusProxy();
    ASSERT_TRUE(hover(start, {40, 240}, third));
    QTest::keyPress(input, Qt::Key_Shift, Qt::ControlModifier);
    const QString toBrowser = "Open in " + DefaultBrowser::name() + ": " + third;
    EXPECT_TRUE(waitUntil([&] { return start->statusField()->text() == toBrowser; }));
    QTest::mouseClick(input, Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier, {40, 240});
    QTest::keyRelease(input, Qt::Key_Shift, Qt::ControlModifier);
    const QByteArray behind = (third + " ombrelay-behind_TIME0\n").toUtf8();
    EXPECT_TRUE(waitUntil([&] { return readFile(opener + ".log") == behind; }));
    ASSERT_TRUE(hover(start, {40, 240}, third));
    QTest::mouseClick(input, Qt::MiddleButton, Qt::ShiftModifier, {40, 240});
    EXPECT_TRUE(waitUntil([&] { return browserInFront.opened == QList<QUrl>{QUrl(third)}; }));

    // A host name reaches the server only through the proxy.
    start->webView()->load(QUrl("http://site.invalid/"));
    ASSERT_TRUE(loaded(start, "Invalid"));
    EXPECT_EQ(m_server.requests().constLast().host(), "site.invalid");

    // A dead renderer stops the spinner and says so; Reload brings the page back.
    const qint64 renderer = start->webView()->page()->renderProcessPid();
    ASSERT_GT(renderer, 0);
    ::kill(pid_t(renderer), SIGKILL);
    EXPECT_TRUE(waitUntil([&] { return start->statusField()->text().contains("stopped working"); }, 10000));
    start->webView()->reload();
    EXPECT_TRUE(waitUntil([&] { return start->webView()->title() == "Invalid" && !start->webView()->isLoading(); }, 20000));

    // Typed in the location field and loaded, a page without a title: the field, focused still, shows the
    // page's address, and the tab is named by its host without "www.".
    m_server.route("www.wordy.com", "/", HttpTestResponse{200, {{"Content-Type", "text/html"}}, "words"});
    LocationField* location = KoMainToolbarDelegate::instance().locationView();
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    QTest::mouseClick(location, Qt::LeftButton);
    QTest::keyClick(location, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(location, "wordy");
    QTest::keyClick(location, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return start->webView()->url().host() == "www.wordy.com"; }, 20000));
    EXPECT_TRUE(waitUntil([&] { return location->text() == "http://www.wordy.com/"; }));
    EXPECT_TRUE(location->hasFocus());
    EXPECT_TRUE(waitUntil([&] { return start->title() == "wordy.com"; }));

    // A page that loops on foreign schemes, pop-ups and dialogs adds nothing and blocks nothing.
    WebController* hostile = web(2);
    m_pane->tabView()->selectButtonAtIndex(2);  // a hidden tab's page is frozen
    hostile->webView()->load(m_server.url("/loop"));
    ASSERT_TRUE(loaded(hostile, "Loop"));
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(20);
    spinFor(1500);
    EXPECT_GT(ticks, 20);
    EXPECT_TRUE(m_urlEvents.isEmpty());
    EXPECT_EQ(m_pane->tabView()->tabs().size(), 3);
    for (const HttpTestRequest& request : m_server.requests())
        EXPECT_NE(request.path, "/popup");

    // Closing its tab ends its page at once.
    QPointer<QWebEnginePage> closedPage = hostile->webView()->page();
    m_pane->tabView()->closeTab(m_pane->tabView()->tabs()[2]);
    EXPECT_TRUE(closedPage.isNull());
}

TEST_F(WebPaneInner, DiversionsAndCookies)
{
    const HttpHeaders torrentType{{"Content-Type", "application/x-bittorrent; charset=binary"}};
    m_server.route("/blank", html("Blank"));
    m_server.route("/t1", HttpTestResponse{200, torrentType, "d4:infode"});
    m_server.route("/moved", HttpTestResponse::redirect("/t2"));
    m_server.route("/t2", HttpTestResponse{200, {{"Content-Type", "application/octet-stream"},
                                                 {"Content-Disposition", "attachment; filename=\"x.torrent\""}}, "d4:infode"});
    m_server.route("/feed", HttpTestResponse{200, {{"Content-Type", "application/rss+xml"}},
                                             "<?xml version='1.0'?><rss version='2.0'><channel><title>F</title></channel></rss>"});
    m_server.route("/cookie", HttpTestResponse{200, {{"Content-Type", "text/html"}, {"Set-Cookie", "session=abc; Path=/"}},
                                               page("Cookie", "<script>document.cookie = 'script=1; path=/';</script>")});
    m_server.route("/echo", html("Echo"));
    m_server.route("/logout", HttpTestResponse{200, {{"Content-Type", "text/html"}, {"Set-Cookie", "session=; Path=/; Max-Age=0"}},
                                               page("Logout", "")});
    m_server.route("/feeds", html("Feeds", "<link rel='alternate' type='application/rss+xml' href='/f1'>"
                                           "<link rel='alternate' type='application/rss+xml' href='/f2'>"));
    m_server.route("/slow", HttpTestResponse{200, {{"Content-Type", "text/html"}}, page("Slow", ""), 3000});
    showPane({m_server.url("/blank").toString() + "?%@"}, 800);
    m_pane->tabView()->selectButtonAtIndex(1);
    WebController* tab = web(1);
    ASSERT_TRUE(loaded(tab, "Blank"));

    tab->webView()->load(m_server.url("/t1"));
    ASSERT_TRUE(waitUntil([&] { return m_torrents.size() == 1; }, 10000));
    EXPECT_EQ(m_torrents[0], m_server.url("/t1"));
    spinFor(1100);  // one diversion a second per tab
    tab->webView()->load(m_server.url("/moved"));
    ASSERT_TRUE(waitUntil([&] { return m_torrents.size() == 2; }, 10000));
    EXPECT_EQ(m_torrents[1], m_server.url("/t2"));
    EXPECT_TRUE(QDir(m_folder.filePath("downloads")).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(QDir(m_folder.filePath("data")).entryList({"*.torrent"}, QDir::Files).isEmpty());

    spinFor(1100);
    tab->webView()->load(m_server.url("/feed"));
    ASSERT_TRUE(waitUntil([&] { return m_feeds.size() == 1; }, 10000));
    EXPECT_EQ(m_feeds[0], m_server.url("/feed"));

    // A feed is handed over, never shown: a click on a link to it leaves the tab's history as it was, and
    // a background tab opened on it ends blank with no history (its title follows a moment later).
    m_server.route("/feedlink", html("Feed link", blockLink("/feed", 0)));
    tab->webView()->load(m_server.url("/feedlink"));
    ASSERT_TRUE(loaded(tab, "Feed link"));
    QWebEngineHistory* history = tab->webView()->history();
    const int entries = history->count();
    spinFor(1100);
    ASSERT_TRUE(hover(tab, {40, 40}, m_server.url("/feed").toString()));
    QTest::mouseClick(tab->webView()->focusProxy(), Qt::LeftButton, {}, {40, 40});
    EXPECT_TRUE(waitUntil([&] {
        return m_feeds.size() == 2 && history->count() == entries && !history->canGoForward()
            && !tab->webView()->isLoading();
    }));
    ASSERT_TRUE(hover(tab, {40, 40}, m_server.url("/feed").toString()));
    QTest::mouseClick(tab->webView()->focusProxy(), Qt::LeftButton, Qt::ControlModifier, {40, 40});
    EXPECT_TRUE(waitUntil([&] {
        const WebController* opened = m_feeds.size() == 3 ? web(2) : nullptr;
        return opened && opened->webView()->url() == QUrl("about:blank") && !opened->webView()->isLoading()
            && opened->webView()->history()->count() == 1 && opened->title() == "Untitled";
    }));

    // Subscribe takes the first feed link, and stays off while a page loads.
    RSSToolbarButton subscribe;
    tab->webView()->load(m_server.url("/feeds"));
    ASSERT_TRUE(waitUntil([&] { return subscribe.isEnabled(); }, 10000));
    EXPECT_EQ(subscribe.feedAddress(), m_server.url("/f1"));
    tab->webView()->load(m_server.url("/slow"));
    EXPECT_TRUE(waitUntil([&] { return !subscribe.isEnabled(); }, 10000));
    spinFor(1000);
    EXPECT_FALSE(subscribe.isEnabled());
    ASSERT_TRUE(loaded(tab, "Slow"));

    // The page's cookies go with the loader's next request.
    tab->webView()->load(m_server.url("/cookie"));
    ASSERT_TRUE(loaded(tab, "Cookie"));
    PZHTTPLoaderQueued loader;  // the loaders that send the store's cookies
    // The first request for /echo from the `from`th on: the page may be fetching its icon meanwhile.
    auto echoRequest = [&](int from) {
        std::optional<HttpTestRequest> echo;
        EXPECT_TRUE(waitUntil([&] {
            const QList<HttpTestRequest> requests = m_server.requests();
            for (qsizetype i = from; i < requests.size() && !echo; ++i)
                if (requests[i].path == "/echo")
                    echo = requests[i];
            return echo.has_value();
        }, 10000));
        return echo.value_or(HttpTestRequest());
    };
    auto loaderCookie = [&] {
        const int before = m_server.requestCount();
        loader.loadURL(m_server.url("/echo"));
        return echoRequest(before).header("Cookie");
    };
    // The header's cookie and the script's reach the loaders' store one by one, each in its own time.
    QByteArray cookie;
    EXPECT_TRUE(waitUntil([&] {
        cookie = loaderCookie();
        return cookie.contains("session=abc") && cookie.contains("script=1");
    }, 20000)) << "the loader sent: " << cookie.constData();

    // A log-out on the page takes its cookie out of the loaders' store as well.
    tab->webView()->load(m_server.url("/logout"));
    ASSERT_TRUE(loaded(tab, "Logout"));
    EXPECT_TRUE(waitUntil([&] {
        cookie = loaderCookie();
        return !cookie.contains("session=") && cookie.contains("script=1");
    }, 20000)) << "the loader sent: " << cookie.constData();

    // With cookies off, neither the page's request nor the loader's carries one.
    Settings::instance().setValue("kDisableCookies", "1");
    tab->webView()->page()->profile()->cookieStore()->deleteAllCookies();
    HttpCookieStore::clear();
    tab->webView()->load(m_server.url("/cookie"));
    ASSERT_TRUE(loaded(tab, "Cookie"));
    const int pageEcho = m_server.requestCount();
    tab->webView()->load(m_server.url("/echo"));
    ASSERT_TRUE(loaded(tab, "Echo"));
    EXPECT_FALSE(echoRequest(pageEcho).hasHeader("Cookie"));
    EXPECT_TRUE(loaderCookie().isEmpty());
}

// A page that keeps setting its location to a foreign scheme cancels every link the user clicks; past a
// few a second its scripts stop until the next page, while a page that does so now and then keeps them.
TEST_F(WebPaneInner, AForeignSchemeLoopCannotHoldTheUser)
{
    m_server.route("/start", html("Start"));
    m_server.route("/away", html("Away", "<script>document.title = 'Away ran';</script>"));
    m_server.route("/loop", html("Loop", blockLink("/away", 0) +
        "<script>let n = 0; setInterval(() => { location = 'foreign:' + n++; }, 2);</script>"));
    m_server.route("/twice", html("Twice", "<script>location = 'foreign:1'; location = 'foreign:2';"
                                           "setTimeout(() => { document.title = 'Alive'; }, 300);</script>"));
    showPane({m_server.url("/start").toString() + "?q=%@"}, 800);
    m_pane->tabView()->selectButtonAtIndex(1);
    WebController* tab = web(1);
    ASSERT_TRUE(loaded(tab, "Start"));

    tab->webView()->load(m_server.url("/twice"));
    EXPECT_TRUE(loaded(tab, "Alive"));

    tab->webView()->load(m_server.url("/loop"));
    ASSERT_TRUE(loaded(tab, "Loop"));
    QWebEngineSettings* settings = tab->webView()->page()->settings();
    // Noticed within a second or so, idle or loaded; a click before it would be cancelled by the loop.
    ASSERT_TRUE(waitUntil([&] { return !settings->testAttribute(QWebEngineSettings::JavascriptEnabled); }, 15000))
        << "the loop's scripts were never stopped";
    // When the loop used up the engine's own navigation limit before the stop took hold, the engine drops
    // the page's link clicks for the rest of its ten-second window: the user clicks again.
    const QString away = m_server.url("/away").toString();
    ASSERT_TRUE(waitUntil([&] {
        if (tab->webView()->url().toString() == away)
            return true;
        if (!hover(tab, {40, 40}, away))
            return false;
        QTest::mouseClick(tab->webView()->focusProxy(), Qt::LeftButton, {}, {40, 40});
        return waitUntil([&] { return tab->webView()->url().toString() == away; }, 3000);
    }, 30000)) << "the link never left the loop";
    EXPECT_TRUE(loaded(tab, "Away ran")) << qPrintable(tab->webView()->title() + " " + tab->webView()->url().toString());

    // The next page has its scripts again.
    tab->webView()->load(m_server.url("/twice"));
    EXPECT_TRUE(loaded(tab, "Alive"));
}

TEST_F(WebPaneInner, Screenshots)
{
    m_server.route("/page", html("Results page", "<h2 style='font-family:sans-serif'>Torrent results</h2>"
                                 "<a href='/linked' style='font:16px sans-serif'>a linked page</a>"));
    m_server.route("/slow", HttpTestResponse{200, {{"Content-Type", "text/html"}}, page("Slow", ""), 60000});
    m_server.route("/feeds", html("Feeds", "<link rel='alternate' type='application/rss+xml' href='/f1'>"
                                           "<h2 style='font-family:sans-serif'>A page with a feed</h2>"));
    const QString fast = m_server.url("/page").toString() + "?q=%@";
    showPane({fast, m_server.url("/slow").toString() + "?q=%@", fast, fast}, 500);
    PZSquareTabView* strip = m_pane->tabView();
    ASSERT_EQ(strip->tabs().size(), 5);
    EXPECT_EQ(strip->visibleTabs().size(), 3);
    strip->selectButtonAtIndex(1);
    ASSERT_TRUE(loaded(web(1), "Results page"));
    const auto* spinnerTab = strip->tabs()[2];
    ASSERT_TRUE(waitUntil([&] { return spinnerTab->progressIndicator()->isVisible(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return !strip->tabs()[1]->progressIndicator()->isVisible(); }, 5000));
    const QImage pane = m_window.grab().toImage();
    ASSERT_TRUE(pane.save(picturePath("OMBRELAY_WEB_PANE_PICTURE", "web-search-pane.png")));

    // Ctrl held over a link.
    WebController* front = web(1);
    QWidget* input = front->webView()->focusProxy();
    ASSERT_TRUE(input);
    QPoint at;
    ASSERT_TRUE(waitUntil([&] {
        for (int y = 40; y < 110 && front->webView()->hoveredLink().isEmpty(); y += 6) {
            at = {20, y};
            QTest::mouseMove(input, at);
            spinFor(40);
        }
        return !front->webView()->hoveredLink().isEmpty();
    }, 10000));
    QTest::keyPress(input, Qt::Key_Control);
    ASSERT_TRUE(waitUntil([&] { return front->statusField()->text().startsWith("Open in new tab: "); }, 3000));
    EXPECT_EQ(front->statusField()->text(), "Open in new tab: " + m_server.url("/linked").toString());
    const QImage status = m_window.grab().toImage();
    ASSERT_TRUE(status.save(picturePath("OMBRELAY_WEB_STATUS_PICTURE", "web-status-ctrl.png")));
    // The status line is the pane's status bar, as under a feed: its image's dark top line over a light
    // gradient, the text black on it.
    auto* bar = qobject_cast<WebStatusBar*>(front->statusField()->parentWidget());
    ASSERT_TRUE(bar);
    const QRect barRect(bar->mapTo(&m_window, QPoint(0, 0)), bar->size());
    ASSERT_EQ(barRect.height(), 16);
    const QPoint plain(barRect.right() - 2, barRect.top());
    EXPECT_LT(qGray(status.pixel(plain)), 170) << "top line";
    EXPECT_GT(qGray(status.pixel(plain + QPoint(0, 8))), 180);
    EXPECT_LT(qGray(status.pixel(plain + QPoint(0, 8))), 240) << "the bar's gradient, not a plain window";
    const QRect text(front->statusField()->mapTo(&m_window, QPoint(0, 0)), front->statusField()->size());
    EXPECT_LT(darkestGrey(status, text), 80) << "black text";
    QTest::keyRelease(input, Qt::Key_Control);
    EXPECT_TRUE(waitUntil([&] { return front->statusField()->text() == m_server.url("/linked").toString(); }, 3000));

    // The web toolbar: Stop while loading, then Back, the address and Subscribe.
    KoMainToolbarDelegate& toolbar = KoMainToolbarDelegate::instance();
    front->webView()->load(m_server.url("/slow"));
    EXPECT_TRUE(waitUntil([&] { return toolbar.reloadButton()->toolTip() == "Stop"; }, 5000));
    front->webView()->load(m_server.url("/feeds"));
    ASSERT_TRUE(waitUntil([&] { return toolbar.rssButton()->isEnabled(); }, 10000));
    EXPECT_EQ(toolbar.reloadButton()->toolTip(), "Reload");
    EXPECT_TRUE(toolbar.backForwardView()->segment(0)->isEnabled());
    EXPECT_FALSE(toolbar.backForwardView()->segment(1)->isEnabled());
    EXPECT_EQ(toolbar.locationView()->text(), m_server.url("/feeds").toString());
    m_window.resize(760, 300);
    spinFor(500);
    ASSERT_TRUE(m_window.grab().toImage().save(picturePath("OMBRELAY_WEB_TOOLBAR_PICTURE", "web-toolbar.png")));
}

}  // namespace
}  // namespace ombrelay::test
