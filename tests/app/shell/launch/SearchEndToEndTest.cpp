// A search as a user runs it in the built application under a private X server. Every site is answered
// by the test's server, standing as the HTTP proxy, with a page linking one torrent file it serves. The
// search is typed with keys alone, listed flat or grouped by site, and downloaded with Shift+Tab and
// Return. Pictures of the screen are saved in the build folder.
#include "app/shell/launch/AppUnderXvfb.h"
#include "engine/torrent/Metainfo.h"
#include "engine/torrent/TorrentFixtures.h"
#include "support/HttpTestServer.h"
#include "support/Pictures.h"
#include "support/WebPagesEnvironment.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QByteArray kTorrentPath = "/files/found.torrent";

// The display's whole screen, saved by this test program run on it.
void saveScreen(const PrivateDisplay& display, const QString& path)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OMBRELAY_SCREEN_PICTURE"), path);
    DisplayChild child(display, QStringLiteral("ScreenOfTheDisplay.DISABLED_IsSaved"), environment);
    ASSERT_TRUE(child.passes(30000));
    const QImage picture(path);
    EXPECT_EQ(picture.size(), QSize(1280, 800)) << path.toStdString();
}

class SearchEndToEnd : public AppUnderXvfb, public ::testing::WithParamInterface<bool>
{
protected:
    bool grouped() const { return GetParam(); }
    QString picture(const char* name) const
    {
        return picturePath("OMBRELAY_APP_PICTURE", QStringLiteral("app-%1-%2.png")
                                                       .arg(QLatin1String(name), grouped() ? "grouped" : "flat"));
    }
    // The keyboard focus is in one of the program's windows.
    bool programHasFocus() const
    {
        return xdotool({QStringLiteral("getwindowfocus"), QStringLiteral("getwindowname")}).trimmed() == "Ombrelay";
    }
    int sessionFolderCount() const
    {
        return QDir(path("data") + QStringLiteral("/Ombrelay/Torrents")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    }
};

}  // namespace

TEST(ScreenOfTheDisplay, DISABLED_IsSaved)
{
    const QString path = qEnvironmentVariable("OMBRELAY_SCREEN_PICTURE");
    ASSERT_FALSE(path.isEmpty());
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(screen->grabWindow(0).save(path));
}

TEST_P(SearchEndToEnd, ATypedSearchListsTheTorrentAndShiftTabReturnDownloadsIt)
{
    const QByteArray torrent = metainfo(singleFileInfo(QStringLiteral("found.bin"), 300000));
    const QString infoHash = QString::fromLatin1(Metainfo::read(torrent)->infoHash.toHex());
    HttpTestServer proxy;
    ASSERT_TRUE(proxy.listen());
    proxy.setFallback([&](const HttpTestRequest& request) -> HttpTestResponse {
        if (request.path == kTorrentPath)
            return {200, {{"Content-Type", "application/x-bittorrent"}}, torrent};
        return {200, {{"Content-Type", "text/html"}},
                "<html><body><a href=\"http://files.invalid" + kTorrentPath + "\">found</a></body></html>"};
    });
    Settings& settings = writeSettings();
    settings.setValue(QStringLiteral("kClusterResultsA"), grouped() ? QStringLiteral("1") : QStringLiteral("0"));
    settings.sync();
    QProcessEnvironment env = environment();
    const QString proxyAddress = QStringLiteral("http://127.0.0.1:%1").arg(proxy.port());
    env.insert(QStringLiteral("http_proxy"), proxyAddress);
    env.insert(QStringLiteral("https_proxy"), proxyAddress);
    addWebPagesEnvironment(env);  // the search pane's web tab

    auto app = launch({}, env);
    ASSERT_TRUE(app->waitFor([this] { return windowIsShown() && programHasFocus(); }, 30000))
        << "no focused window: " << app->output().right(2000).toStdString();
    saveScreen(*display, picture("start"));

    // The search field has the focus at launch: the keys go straight into it.
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), QStringLiteral("ubuntu")});
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    ASSERT_TRUE(app->waitForText(QStringLiteral("Search \"ubuntu\": 1 result(s)"), 30000))
        << app->output().right(3000).toStdString();
    saveScreen(*display, picture("results"));
    int torrentFetches = 0;
    for (const HttpTestRequest& request : proxy.requests())
        torrentFetches += request.path == kTorrentPath ? 1 : 0;
    EXPECT_EQ(torrentFetches, 1) << "every site links the same file: fetched once";
    EXPECT_EQ(sessionFolderCount(), 0);

    // Shift+Tab: the list with its first result selected; Return downloads it, past the legal notice.
    xdotool({QStringLiteral("key"), QStringLiteral("shift+Tab")});
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    ASSERT_TRUE(app->waitFor([this] { return visibleWindowCount() > 1; }, 10000))
        << "no legal notice after Return: the first result was not selected";
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    EXPECT_TRUE(app->waitFor([this] { return sessionFolderCount() == 1; }, 20000)) << app->output().right(3000).toStdString();
    EXPECT_TRUE(app->waitForText(QStringLiteral("Transfer %1 \"found.bin\"").arg(infoHash), 10000))
        << app->output().right(3000).toStdString();
    EXPECT_TRUE(app->terminate(20000)) << app->output().right(2000).toStdString();
}

INSTANTIATE_TEST_SUITE_P(FlatAndGrouped, SearchEndToEnd, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Grouped" : "Flat"; });
