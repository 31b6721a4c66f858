#pragma once

#include "app/desktop/DesktopAppFixture.h"
#include "app/frame/KoMainWindow.h"
#include "app/frame/SourceView.h"
#include "app/prefs/KoPreferencesWindow.h"
#include "app/prefs/PZPreferencesController.h"
#include "app/toolbar/KoToolbarDelegate.h"
#include "engine/torrent/TorrentFakes.h"
#include "kit/OBDefaults.h"
#include "support/HttpTestServer.h"
#include "support/PrivateDisplay.h"
#include "support/WebPagesEnvironment.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QToolBar>

// An outer test: the inner tests `filter` names run in a child of this program, marked by the variable
// `child`, on a display of its own.
#define RUN_ON_PRIVATE_DISPLAY(suite, test, filter, child)                                                   \
    TEST(suite, test)                                                                                         \
    {                                                                                                         \
        if (QStandardPaths::findExecutable("xdotool").isEmpty())                                              \
            GTEST_SKIP() << "needs xdotool";                                                                  \
        expectPassOnPrivateDisplay(filter, webChildEnvironment(child), 180000);                               \
    }

namespace ombrelay::test {

// The application whose home page and searches go to a server of the test's own on loopback.
class LoopbackHomeApp : public DesktopApp
{
protected:
    void TearDown() override
    {
        DesktopApp::TearDown();
        qunsetenv("http_proxy");
    }

    // Starts the server with a home page and sends the application's web traffic to it; call before launch().
    void serveHome()
    {
        ASSERT_TRUE(server.listen());
        server.route("/", HttpTestResponse{200, {{"Content-Type", "text/html"}}, "<title>Home</title>"});
        qputenv("http_proxy", server.url("/").toString().toUtf8());
        Settings::instance().setValue("kDefaultSite", QStringLiteral("http://home.invalid/"));
    }
    // The home served, the application launched with the settings made so far, its window 1000 by 640 and
    // active.
    void launchWindow()
    {
        ASSERT_NO_FATAL_FAILURE(serveHome());
        OBDefaults::loadDefaults();
        launch();
        window()->resize(1000, 640);
        window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window()));
    }
    KoMainWindow* window() const { return controller->mainWindow(); }
    SourceView* sources() const { return window()->sourceView(); }
    QLineEdit* searchField() const { return KoToolbarDelegate::searchView(); }

    // One transfer active and "kKoWarnQuit" on, so every way to quit asks; the question is counted and
    // answered Cancel, and the program stays. Call after launch().
    void keepATransferActive()
    {
        Settings::instance().setValue("kKoWarnQuit", true);
        PZAlert::setPresenter([this](const PZAlert&, PZAlert::Answer answer) {
            ++quitQuestions;
            answer(1, false);
        });
        PeerService::install(&peers);
        TorrentLinePtr busy = listTorrent(QStringLiteral("busy.bin"));
        peers.counts[busy.get()] = {2, 1, 0};
        busy->invalidateValues();
    }

    // xdotool on this display; the loop runs meanwhile, so the window takes what it sends.
    bool xdotool(const QStringList& arguments)
    {
        QProcess tool;
        tool.start(QStringLiteral("xdotool"), arguments);
        return waitUntil([&] { return tool.state() == QProcess::NotRunning; }, 10000) && tool.exitCode() == 0;
    }
    bool key(const QString& keys) { return xdotool({QStringLiteral("key"), keys}); }
    // A press at a point of the screen held `heldMs` as a hand holds it, then the release; held, it moves
    // to `to` in `moves` steps.
    bool clickHeld(const QPoint& at, int heldMs, const QPoint& to = {}, int moves = 0)
    {
        const auto point = [](const QPoint& p) { return QStringList{QString::number(p.x()), QString::number(p.y())}; };
        const QString pause = QString::number(heldMs / 1000.0 / (moves + 1));
        QStringList arguments = QStringList{"mousemove"} + point(at) + QStringList{"mousedown", "1"};
        for (int step = 1; step <= moves; ++step)
            arguments << "sleep" << pause << "mousemove" << point(at + (to - at) * step / moves);
        return xdotool(arguments + QStringList{"sleep", pause, "mouseup", "1"});
    }
    // The preferences opened with Ctrl+, and their pane `index` chosen with a click on its item.
    PZPreferencesController* preferencesPane(int index)
    {
        PZPreferencesController& preferences = controller->preferences();
        if (!key(QStringLiteral("ctrl+comma")) || !waitUntil([&] { return preferences.window()->isActiveWindow(); }, 5000))
            return nullptr;
        QWidget* item = preferences.window()->findChild<QToolBar*>()->widgetForAction(preferences.items().at(index).action);
        if (!clickHeld(item->mapToGlobal(item->rect().center()), 120))
            return nullptr;
        return waitUntil([&] { return preferences.currentIndex() == index && !preferences.isAnimating(); }, 5000)
            ? &preferences : nullptr;
    }
    bool focusIs(QWidget* widget) const
    {
        return waitUntil([&] { return QApplication::focusWidget() == widget; }, 3000);
    }

    HttpTestServer server;
    FakePeers peers;
    int quitQuestions = 0;
};

}  // namespace ombrelay::test
