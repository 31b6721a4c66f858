#pragma once

#include "app/desktop/DesktopAppFixture.h"
#include "engine/torrent/TorrentFakes.h"
#include "support/HttpTestServer.h"

#include <QApplication>
#include <QProcess>

namespace ombrelay::test {

// The application whose home page and searches go to a server of the test's own on loopback.
class LoopbackHomeApp : public DesktopApp
{
protected:
    // Starts the server with a home page and sends the application's web traffic to it; call before launch().
    void serveHome()
    {
        ASSERT_TRUE(server.listen());
        server.route("/", HttpTestResponse{200, {{"Content-Type", "text/html"}}, "<title>Home</title>"});
        qputenv("http_proxy", server.url("/").toString().toUtf8());
        Settings::instance().setValue("kDefaultSite", QStringLiteral("http://home.invalid/"));
    }

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
    bool focusIs(QWidget* widget) const
    {
        return waitUntil([&] { return QApplication::focusWidget() == widget; }, 3000);
    }
    // A press at a point of the screen held `heldMs` as a hand holds it, then the release.
    bool clickHeld(const QPoint& at, int heldMs)
    {
        const QString held = QString::number(heldMs / 1000.0);
        return xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                        QStringLiteral("mousedown"), QStringLiteral("1"), QStringLiteral("sleep"), held,
                        QStringLiteral("mouseup"), QStringLiteral("1")});
    }

    HttpTestServer server;
    FakePeers peers;
    int quitQuestions = 0;
};

}  // namespace ombrelay::test
