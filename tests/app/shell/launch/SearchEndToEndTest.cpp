// A search as a user runs it in the built application under a private X server. Every site is answered
// by the test's server, standing as the HTTP proxy, with a page linking one torrent file it serves. The
// search is typed with keys alone, listed flat or grouped by site, and downloaded with Shift+Tab and
// Return. Pictures of the screen are saved in the build folder.
#include "app/shell/launch/AppOnScreen.h"
#include "engine/torrent/Metainfo.h"
#include "engine/torrent/TorrentFixtures.h"
#include "support/HttpTestServer.h"
#include "support/Pictures.h"
#include "support/WebPagesEnvironment.h"

#include <QImage>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QByteArray kTorrentPath = "/files/found.torrent";

// The screen shows the window and nothing else: the window's frame is drawn in many colours, the bare
// root around it in its one colour.
bool showsTheWindowAlone(const QImage& screen, const QRect& window)
{
    QImage outside = screen.convertToFormat(QImage::Format_RGB32);
    const QPoint corner = outside.rect().bottomRight();
    if (window.contains(corner))
        return false;
    for (int y = window.top(); y <= window.bottom(); ++y)
        for (int x = window.left(); x <= window.right(); ++x)
            if (outside.valid(x, y))
                outside.setPixel(x, y, outside.pixel(corner));
    return distinctColours(outside) == 1 && distinctColours(screen.copy(window)) >= 32;
}

// True when one of `row`'s pixels within 30 on that side of `x` (`step` -1 or 1) has the colour `band`.
bool bandAside(const QImage& screen, int x, int row, int step, QRgb band)
{
    for (int k = 1; k <= 30; ++k)
        if (screen.valid(x + k * step, row) && screen.pixel(x + k * step, row) == band)
            return true;
    return false;
}

// A selected row in the window: a band of one strong colour at least 250 wide (wider than the sidebar),
// with light text written on it (a near-white pixel with the band's colour on both sides).
bool showsASelectedRowWithText(const QImage& screen, const QRect& window)
{
    const QRect area = window.intersected(screen.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        int run = 0;
        QRgb band = 0;
        for (int x = area.left() + 1; x <= area.right() && run < 250; ++x) {
            band = screen.pixel(x, y);
            run = band == screen.pixel(x - 1, y) && QColor(band).hsvSaturation() > 100 ? run + 1 : 0;
        }
        if (run < 250)
            continue;
        for (int row = y; row < std::min(y + 45, area.bottom() + 1); ++row)
            for (int x = area.left(); x <= area.right(); ++x)
                if (nearColor(screen.pixel(x, row), Qt::white, 60) && bandAside(screen, x, row, -1, band) &&
                    bandAside(screen, x, row, 1, band))
                    return true;
    }
    return false;
}

class SearchEndToEnd : public AppOnScreen, public ::testing::WithParamInterface<bool>
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
    const auto window = mainWindow();
    ASSERT_TRUE(window);
    const QRect frame = window->second;
    EXPECT_FALSE(
        screenPictureShowing(picture("start"),
                             [&](const QImage& screen) { return showsTheWindowAlone(screen, frame); })
            .isNull())
        << picture("start").toStdString();

    // The search field has the focus at launch: the keys go straight into it.
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), QStringLiteral("ubuntu")});
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    ASSERT_TRUE(app->waitForText(QStringLiteral("Search \"ubuntu\": 1 result(s)"), 30000))
        << app->output().right(3000).toStdString();
    int torrentFetches = 0;
    for (const HttpTestRequest& request : proxy.requests())
        torrentFetches += request.path == kTorrentPath ? 1 : 0;
    EXPECT_EQ(torrentFetches, 1) << "every site links the same file: fetched once";
    EXPECT_EQ(sessionFolderCount(), 0);

    // Shift+Tab: the list with its first result selected; Return downloads it, past the legal notice.
    xdotool({QStringLiteral("key"), QStringLiteral("shift+Tab")});
    EXPECT_FALSE(
        screenPictureShowing(picture("results"),
                             [&](const QImage& screen) { return showsASelectedRowWithText(screen, frame); })
            .isNull())
        << "no selected result drawn in " << picture("results").toStdString();
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
