// The built application's first moments as a new user meets them, under a private X server: the window
// opens centred, the menu's keys work while the search field has the focus, Ctrl+Q or the window's
// close button (no tray host runs) quits while a panel is up, closing it first, and the window draws in the
// raster engine without web tabs, keeping the focus as the first comes and the last goes; the launch removes
// what crashed runs left in the temporary folder.
#include "app/shell/launch/AppUnderXvfb.h"
#include "kit/AppPaths.h"
#include "kit/PropertyList.h"
#include "support/CloseButton.h"
#include "support/HttpTestServer.h"
#include "support/TestFiles.h"
#include "support/WebPagesEnvironment.h"

#include <QRect>
#include <algorithm>
#include <unistd.h>
#include <xcb/xcb.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class KeysAtLaunch : public AppUnderXvfb
{
protected:
    QString focusedWindowName() const
    {
        const QByteArray name = xdotool({QStringLiteral("getwindowfocus"), QStringLiteral("getwindowname")});
        return QString::fromUtf8(name.trimmed());
    }
    // "X", "Y", "WIDTH" and "HEIGHT" of the program's one shown window.
    QMap<QString, int> mainWindowGeometry() const
    {
        const QByteArray id = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
                                       QStringLiteral("^ombrelay$")})
                                  .trimmed();
        QMap<QString, int> geometry;
        const QByteArray shell =
            xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::fromLatin1(id)});
        for (const QByteArray& line : shell.split('\n')) {
            const int equals = int(line.indexOf('='));
            if (equals > 0)
                geometry.insert(QString::fromLatin1(line.left(equals)), line.mid(equals + 1).toInt());
        }
        return geometry;
    }
    void key(const char* keys) const { xdotool({QStringLiteral("key"), QString::fromLatin1(keys)}); }
    // Qt gives a window composited through OpenGL a visual of its own, the raster engine the screen's.
    bool drawsThroughOpenGL(quint32 window) const
    {
        xcb_connection_t* connection = xcb_connect(qPrintable(display->display()), nullptr);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            return false;
        }
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr);
        const bool own = attributes && screen && attributes->visual != screen->root_visual;
        free(attributes);
        xcb_disconnect(connection);
        return own;
    }
    QByteArray mainWindowId() const
    {
        return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                        QStringLiteral("^Ombrelay$")})
            .trimmed();
    }
};

}  // namespace

TEST_F(KeysAtLaunch, AMenuKeyActsFromTheSearchFieldAndQuitClosesTheOpenPanelFirst)
{
    struct Case
    {
        const char* opens;  // typed at launch, with the focus in the toolbar's search field
        const char* panelTitle;
        bool closeButton;  // else Ctrl+Q
    };
    const Case cases[] = {
        {"ctrl+u", "Open Address", false},  // the field's own Ctrl+U would clear its line
        {"ctrl+o", "Open", true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.opens);
        writeSettings();
        auto app = launch({});
        const auto shownWithFocus = [this] { return windowIsShown() && focusedWindowName() == QStringLiteral("Ombrelay"); };
        ASSERT_TRUE(app->waitFor(shownWithFocus, 30000))
            << "no focused window: " << app->output().right(2000).toStdString();

        // No frame stored: the window stands in the middle of the screen (1280 x 800).
        const QMap<QString, int> frame = mainWindowGeometry();
        ASSERT_TRUE(frame.contains(QStringLiteral("WIDTH")));
        EXPECT_NEAR(frame[QStringLiteral("X")], (1280 - frame[QStringLiteral("WIDTH")]) / 2, 1);
        EXPECT_NEAR(frame[QStringLiteral("Y")], (800 - frame[QStringLiteral("HEIGHT")]) / 2, 1);

        const quint32 windowId = mainWindowId().toUInt();
        ASSERT_NE(windowId, 0u);
        key(test.opens);
        EXPECT_TRUE(app->waitFor([&] { return focusedWindowName() == QLatin1String(test.panelTitle); }, 10000))
            << "the focus is in \"" << focusedWindowName().toStdString() << "\"";
        ASSERT_EQ(visibleWindowCount(), 2);

        if (test.closeButton)
            ASSERT_TRUE(clickCloseButton(display->display(), windowId));
        else
            key("ctrl+q");
        ASSERT_TRUE(app->waitForExit(20000)) << "quit with a panel up: " << app->output().right(2000).toStdString();
        EXPECT_EQ(app->exitCode(), 0) << app->output().right(2000).toStdString();
        // The frame saved at quit is the one restored at the next launch.
        Settings::instance().sync();
        EXPECT_FALSE(Settings::instance().string(QStringLiteral("kKoMainWindow")).isEmpty());
        Settings::instance().remove(QStringLiteral("kKoMainWindow"));
        Settings::instance().sync();
    }
}

// Web views drawn through OpenGL (Mesa's software driver here). The window draws in the raster engine
// without them, as at launch and once the last web tab is closed; it is made anew when the first comes
// (opened with Ctrl+T over a search) and when the last goes (Ctrl+W), keeping the keyboard focus each
// time: what is typed meanwhile goes on in the search field.
TEST_F(KeysAtLaunch, TheWindowDrawsInRasterWithoutWebTabsAndKeepsItsFocusAcrossThem)
{
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    server.setFallback([](const HttpTestRequest&) -> HttpTestResponse {
        return {200, {{"Content-Type", "text/html"}}, "<title>Home</title><p>home</p>"};
    });
    Settings& settings = writeSettings();
    const QString site = server.url("/").toString();
    settings.setValue(QStringLiteral("kDefaultSite"), site);
    settings.setValue(QStringLiteral("kEnabledSystemModules"), QStringList());
    settings.setValue(QStringLiteral("kSearchSites"),
                      PropertyList::toBinary(QVariantList{QVariantMap{{"name", "Loopback"}, {"url", site + "s?q=%@"},
                                                                      {"isEnabled", "1"}, {"type", "0"}}}));
    settings.sync();
    QProcessEnvironment env = environment();
    addWebPagesEnvironment(env);
    for (const char* variable : {"QT_XCB_GL_INTEGRATION", "QT_QUICK_BACKEND"})
        env.remove(QLatin1String(variable));
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    auto app = launch({}, env);
    const auto focused = [this] { return focusedWindowName() == QStringLiteral("Ombrelay"); };
    ASSERT_TRUE(app->waitFor([&] { return windowIsShown() && focused(); }, 30000)) << app->output().right(2000).toStdString();
    const auto throughOpenGL = [this] { return drawsThroughOpenGL(mainWindowId().toUInt()); };
    EXPECT_FALSE(throughOpenGL()) << "the window draws through OpenGL without a web view";
    const auto place = [this] {
        const QMap<QString, int> geometry = mainWindowGeometry();
        return QRect(geometry.value(QStringLiteral("X")), geometry.value(QStringLiteral("Y")),
                     geometry.value(QStringLiteral("WIDTH")), geometry.value(QStringLiteral("HEIGHT")));
    };
    const QRect frame = place();
    const auto searched = [&](const QByteArray& terms) {
        return app->waitFor([&] {
            const QList<HttpTestRequest> requests = server.requests();
            return std::any_of(requests.begin(), requests.end(),
                               [&](const HttpTestRequest& request) { return request.target.endsWith("q=" + terms); });
        }, 15000);
    };
    xdotool({QStringLiteral("type"), QStringLiteral("alpha")});
    key("Return");
    ASSERT_TRUE(searched("alpha")) << "the search reached no site";

    const int requests = server.requestCount();
    key("ctrl+t");
    ASSERT_TRUE(app->waitFor([&] { return server.requestCount() > requests; }, 30000)) << "no web tab loaded the home page";
    ASSERT_TRUE(app->waitFor(throughOpenGL, 15000)) << "the web tab draws without OpenGL: nothing made the window anew";
    EXPECT_TRUE(app->waitFor(focused, 10000)) << "the focus is in \"" << focusedWindowName().toStdString() << "\"";
    EXPECT_EQ(place(), frame) << "the window made anew stands elsewhere";
    xdotool({QStringLiteral("type"), QStringLiteral("beta")});  // into the field, emptied by the search

    key("ctrl+w");
    EXPECT_TRUE(app->waitFor([&] { return !throughOpenGL(); }, 15000)) << "the window still draws through OpenGL";
    EXPECT_TRUE(app->waitFor(focused, 10000)) << "the focus is in \"" << focusedWindowName().toStdString() << "\"";
    EXPECT_EQ(place(), frame) << "the window made anew stands elsewhere";
    xdotool({QStringLiteral("type"), QStringLiteral("gamma")});
    key("Return");
    EXPECT_TRUE(searched("betagamma")) << "what was typed went elsewhere";
    EXPECT_TRUE(app->terminate(20000)) << app->output().right(2000).toStdString();
}

// A crash leaves its temporary folder. The next launch, once it is the one running, removes the folders
// earlier runs of this user left, and only those: not one a running process holds, nor a link, a file or
// another name; a later launch while it runs hands over and removes nothing.
TEST_F(KeysAtLaunch, TheOneRunningInstanceRemovesTheTemporaryFoldersOfCrashedRuns)
{
    writeSettings();
    const QDir tmp(path("tmp"));
    const QStringList crashed{"Ombrelay-Crashd", "Ombrelay-crAsh2"};
    ASSERT_TRUE(writeFile(tmp.filePath("Ombrelay-Crashd/level1.zip"), "left"));
    ASSERT_TRUE(writeFile(tmp.filePath("Ombrelay-crAsh2/Previews/clip.mp4"), "left"));
    QStringList kept{"Ombrelay-Linked", "Ombrelay-NotDir", "Ombrelay-TooLong1/x", "Other-Abcdef/x", "ombrelay-abcdef/x"};
    ASSERT_TRUE(writeFile(path("other") + "/target/x", "theirs"));
    ASSERT_TRUE(QFile::link(path("other") + "/target", tmp.filePath("Ombrelay-Linked")));
    ASSERT_TRUE(writeFile(tmp.filePath("Ombrelay-NotDir"), "file"));
    for (const QString& file : kept.mid(2))
        ASSERT_TRUE(writeFile(tmp.filePath(file), "kept"));
    if (::geteuid() == 0) {  // another user's folder
        ASSERT_TRUE(writeFile(tmp.filePath("Ombrelay-Nobody/x"), "theirs"));
        ASSERT_EQ(::chown(QFile::encodeName(tmp.filePath("Ombrelay-Nobody")).constData(), 65534, 65534), 0);
        kept << "Ombrelay-Nobody/x";
    }
    // The folder of another process of ours that runs: this test's.
    const QByteArray ownTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(path("tmp")));
    const QString running = AppPaths::temporaryDirectory();
    ownTmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", ownTmp);
    ASSERT_TRUE(running.startsWith(path("tmp")));
    ASSERT_TRUE(writeFile(running + "fetched.torrent", "held"));
    kept << QFileInfo(running).dir().dirName() + "/fetched.torrent";

    auto app = launch({});
    ASSERT_TRUE(app->waitFor([this] { return windowIsShown(); }, 30000)) << app->output().right(2000).toStdString();
    EXPECT_TRUE(app->waitFor([&] { return !tmp.exists(crashed[0]) && !tmp.exists(crashed[1]); }, 15000))
        << tmp.entryList().join(' ').toStdString();
    const auto keptAll = [&] {
        return std::all_of(kept.begin(), kept.end(),
                           [&](const QString& file) { return QFileInfo::exists(tmp.filePath(file)); });
    };
    EXPECT_TRUE(keptAll()) << tmp.entryList().join(' ').toStdString();
    EXPECT_TRUE(QFileInfo::exists(path("other") + "/target/x"));

    // Left while the first runs (as by a crash of another launch): a later launch does not touch it.
    ASSERT_TRUE(writeFile(tmp.filePath("Ombrelay-Latery/x"), "left"));
    WatchedProcess later(applicationPath(), {}, environment());
    ASSERT_TRUE(later.waitForExit(30000));
    EXPECT_EQ(later.exitCode(), 0) << later.output().right(2000).toStdString();
    EXPECT_TRUE(QFileInfo::exists(tmp.filePath("Ombrelay-Latery/x")));
    EXPECT_TRUE(keptAll());
    EXPECT_TRUE(app->terminate(20000)) << app->output().right(2000).toStdString();
    AppPaths::removeTemporaryDirectory();
}
