#include "DesktopAppFixture.h"

#include "app/desktop/DockTileView.h"
#include "app/desktop/StatusTray.h"
#include "app/frame/KoMainWindow.h"
#include "transfers/DownloadsOutlineView.h"

#include <QApplication>
#include <QDialog>

namespace ombrelay::test {
namespace {

// The engine's completion reaches the notification server once, with the texts of the notice, escaped
// for a server that reads markup; the launcher counts the completed transfer until it is cleared.
TEST_F(DesktopApp, CompletionGivesOneNoticeAndTheLauncherCountsIt)
{
    FakeNotificationServer server(bus.connect("notices"), {"body", "body-markup"});
    launch();
    TorrentLinePtr torrent = listTorrent("song & <dance>.bin");
    ASSERT_TRUE(waitUntil([&] { return !launcher.counts.isEmpty() && launcher.counts.last() == 0; }));
    torrent->didComplete();
    ASSERT_TRUE(waitUntil([&] { return !server.notices.isEmpty(); }));
    ASSERT_TRUE(waitUntil([&] { return launcher.counts.last() == 1; }));
    spinFor(100);
    ASSERT_EQ(server.notices.size(), 1);
    const FakeNotificationServer::Notice& notice = server.notices.constFirst();
    EXPECT_EQ(notice.appName, QStringLiteral("Ombrelay"));
    EXPECT_EQ(notice.appIcon, QStringLiteral("ombrelay"));
    EXPECT_EQ(notice.summary, QStringLiteral("song & <dance>.bin"));
    EXPECT_EQ(notice.body, QStringLiteral("Downloaded to: %1").arg(AppPaths::abbreviateTilde(torrent->fullPath())).toHtmlEscaped());
    EXPECT_TRUE(notice.body.contains(QStringLiteral("&amp; &lt;dance&gt;")));
    EXPECT_EQ(notice.hints.value("desktop-entry").toString(), QStringLiteral("ombrelay"));
    EXPECT_EQ(notice.hints.value("category").toString(), QStringLiteral("transfer.complete"));
    EXPECT_EQ(controller->statusTray()->tile(), DockTileView().render(1, 0));

    downloads().outlineView()->clearAllComplete();
    ASSERT_TRUE(waitUntil([&] { return launcher.counts.last() == 0; }));
    spinFor(100);
    // Sent on change only: no two updates in a row say the same.
    for (int i = 1; i < launcher.counts.size(); ++i)
        EXPECT_FALSE(launcher.counts[i] == launcher.counts[i - 1] && launcher.urgency[i] == launcher.urgency[i - 1]) << i;
}

// The attention request lasts until the window is activated; a click on the tray icon brings the window.
TEST_F(DesktopApp, AttentionLastsUntilTheWindowIsActivated)
{
    launch();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return !controller->mainWindow()->isActiveWindow(); }));
    downloads().requestAttention();
    ASSERT_TRUE(waitUntil([&] { return !launcher.urgency.isEmpty() && launcher.urgency.last(); }));
    controller->mainWindow()->hide();
    emit controller->statusTray()->trayIcon().activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(waitUntil([&] { return controller->mainWindow()->isVisible() && controller->mainWindow()->isActiveWindow(); }));
    ASSERT_TRUE(waitUntil([&] { return !launcher.urgency.last(); }));
    const int sent = launcher.urgency.size();
    downloads().requestAttention();  // the window is active: nothing to ask for
    spinFor(100);
    EXPECT_EQ(launcher.urgency.size(), sent);
}

// While a modal dialog runs, a click on the tray icon leaves the window as it is, as a later launch does.
TEST_F(DesktopApp, TheTrayBringsTheWindowOnlyWhenNoModalDialogRuns)
{
    launch();
    KoMainWindow* window = controller->mainWindow();
    window->hide();
    QDialog dialog;
    dialog.setModal(true);
    dialog.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
    emit controller->statusTray()->trayIcon().activated(QSystemTrayIcon::Trigger);
    spinFor(100);
    EXPECT_FALSE(window->isVisible());
    dialog.hide();
    emit controller->statusTray()->trayIcon().activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(waitUntil([&] { return window->isVisible(); }));
}

// The tray's tooltip names a rate only while there is one.
TEST_F(DesktopApp, TheTrayTooltipNamesOnlyTheRatesThereAre)
{
    launch();
    TorrentLinePtr torrent = listTorrent("moving.iso");
    const struct
    {
        quint32 uploaded;
        QString tooltip;
    } cases[] = {{0, "Ombrelay"}, {2500, "Ombrelay\nUpload: 2.5 kB/s"}};
    for (const auto& c : cases) {
        torrent->uploadBandwidth().recordBytes(c.uploaded);
        torrent->invalidateValues();
        downloads().invalidateBindingsText();
        EXPECT_EQ(controller->statusTray()->trayIcon().toolTip(), c.tooltip);
    }
}

TEST(DockTileViewTest, BadgesFollowTheCountAndTheRate)
{
    // Complete, badge image, badge text.
    const std::tuple<int, QString, QString> badges[] = {
        {0, "", ""},          {7, "Badge1", "7"},       {42, "Badge2", "42"},       {100, "Badge3", "100"},
        {9998, "Badge4", "9998"}, {9999, "Badge4", "!!"}, {12000, "Badge1", "!!"}};
    for (const auto& [complete, image, text] : badges) {
        EXPECT_EQ(DockTileView::completeBadgeImage(complete), image) << complete;
        EXPECT_EQ(DockTileView::completeBadgeText(complete), text) << complete;
    }
    QTemporaryDir folder;
    Settings::useFile(folder.filePath("Ombrelay.conf"));
    const DockTileView tile;
    // Shown, rate, badge text.
    const std::tuple<bool, double, QString> rates[] = {
        {true, 100, ""}, {true, 100.9, "0.1 k"}, {true, 12345.6, "12.3 k"}, {false, 12345.6, ""}};
    for (const auto& [shown, rate, text] : rates) {
        Settings::instance().setBool("kKoNetBandwidthDock", shown);
        EXPECT_EQ(tile.bandwidthText(rate), text) << rate;
    }
    // The rate badge spans the tile's middle columns only while it shows.
    Settings::instance().setBool("kKoNetBandwidthDock", true);
    const QImage withRate = tile.render(0, 12345.6);
    Settings::instance().setBool("kKoNetBandwidthDock", false);
    const QImage without = tile.render(0, 12345.6);
    EXPECT_NE(withRate.pixel(64, 110), without.pixel(64, 110));
    EXPECT_EQ(withRate.pixel(64, 20), without.pixel(64, 20));
}

}  // namespace
}  // namespace ombrelay::test
