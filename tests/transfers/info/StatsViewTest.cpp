#include "transfers/TransfersFixture.h"

#include "transfers/StatsView.h"
#include "uikit/FilterSearchField.h"
#include "uikit/KeyViewLoop.h"

#include <QTest>
#include <QVBoxLayout>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class StatsRow : public TransfersFixture
{
protected:
    KoDrawerStatsDownloadsCell& cell() { return controller->statsView()->downloadsCell(); }
};

}  // namespace

TEST(StatsCell, BadgeTextsAndColours)
{
    struct Row
    {
        int active, connecting, paused;
        bool highlighted, emphasised;
        QString text;
        QColor background, foreground;
    };
    const QColor white(Qt::white);
    const QColor greyBlue = KoDrawerStatsDownloadsCell::greyBlue();
    const QColor blue = KoDrawerStatsDownloadsCell::blue();
    const Row rows[] = {
        {0, 0, 0, false, false, QString(), {}, {}},
        {2, 1, 3, false, false, QStringLiteral("2 active"), greyBlue, white},
        {2, 1, 3, true, true, QStringLiteral("2 active"), white, blue},
        {2, 1, 3, true, false, QStringLiteral("2 active"), white, greyBlue},
        {0, 1, 3, false, false, QStringLiteral("1 connecting"), white, greyBlue},
        {0, 0, 5, true, true, QStringLiteral("5 paused"), white, blue},
        {0, 0, 1, false, false, QStringLiteral("1 paused"), white, greyBlue},
    };
    for (const Row& row : rows) {
        KoDrawerStatsDownloadsCell cell;
        cell.setNumberOfActive(row.active);
        cell.setNumberOfConnecting(row.connecting);
        cell.setNumberOfPaused(row.paused);
        const auto badge = cell.badge(row.highlighted, row.emphasised);
        SCOPED_TRACE(row.text.toStdString());
        ASSERT_EQ(bool(badge), !row.text.isEmpty());
        if (badge) {
            EXPECT_EQ(std::tie(badge->text, badge->background, badge->foreground),
                      std::tie(row.text, row.background, row.foreground));
        }
    }
    EXPECT_EQ(KoDrawerStatsDownloadsCell::badgeWidth(7.2), 20);
    EXPECT_EQ(KoDrawerStatsDownloadsCell::badgeWidth(30.1), 43);
}

TEST_F(StatsRow, TitleShowsTheRateWhileSetAndAnythingDownloads)
{
    const std::tuple<float, bool, bool, QString> steps[] = {
        {1500.7f, true, true, QStringLiteral("1.5 kB/s")},
        {1500.2f, true, false, QStringLiteral("1.5 kB/s")},  // the same whole number of bytes
        {0, true, true, QStringLiteral("Downloads")},
        {2000, false, true, QStringLiteral("Downloads")},
    };
    for (const auto& [rate, shown, changed, title] : steps) {
        Settings::instance().setValue(QStringLiteral("kKoNetBandwidth"), shown);
        EXPECT_EQ(cell().setNetBandwidth(rate), changed) << rate;
        EXPECT_EQ(cell().title(), title) << rate;
    }
}

TEST_F(StatsRow, CountsGoByStateOverTheWholeListWhateverTheFilterText)
{
    QList<TorrentLinePtr> active;
    for (const QString& name : {QStringLiteral("alpha"), QStringLiteral("beta")}) {
        active.append(addTorrent(name, TorrentLine::Downloading));
        peers.counts[active.last().get()] = {1, 1, 0};
    }
    for (int k = 0; k < 3; ++k)
        addTorrent(QStringLiteral("paused %1").arg(k), TorrentLine::Paused);
    controller->filterField()->setText(QStringLiteral("alpha"));
    QApplication::processEvents();
    controller->updateCell(nullptr);
    EXPECT_EQ(cell().numberOfActive(), 2);
    EXPECT_EQ(cell().numberOfPaused(), 3);
    EXPECT_EQ(cell().badge(false, false)->text, QStringLiteral("2 active"));

    for (const TorrentLinePtr& torrent : active)
        torrent->restoreDownloadState(TorrentLine::Paused);
    controller->updateCell(nullptr);
    EXPECT_EQ(cell().badge(false, false)->text, QStringLiteral("5 paused"));
}

TEST_F(StatsRow, ACompletionMarksTheRowUntilTheTransfersAreSeen)
{
    const TorrentLinePtr old = TorrentLine::torrentLineForData(metainfo(singleFileInfo("old", 1000)));
    old->restoreDownloadState(TorrentLine::Complete);
    controller->addDownload(old);
    const TorrentLinePtr running = addTorrent(QStringLiteral("new"), TorrentLine::Downloading);
    controller->updateCell(nullptr);
    EXPECT_FALSE(cell().hasComplete()) << "complete before this run: not marked";

    running->restoreDownloadState(TorrentLine::Complete);
    controller->updateCell(nullptr);
    EXPECT_EQ(controller->numberOfRecentlyCompleted(), 1);
    EXPECT_EQ(cell().imageName(), QStringLiteral("CompleteBadge"));

    StatsView& stats = *controller->statsView();
    stats.show();
    stats.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&stats));
    stats.setTransfersViewShown(true);
    EXPECT_EQ(controller->numberOfRecentlyCompleted(), 0);
    EXPECT_EQ(cell().imageName(), QStringLiteral("Download16"));
}

TEST_F(StatsRow, TabIntoTheListSelectsItsFirstRowOnlyWhenThereIsOne)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(controller->statsView());
    layout->addWidget(controller->mainView());
    KeyViewLoop::install({[this]() -> QWidget* { return controller->mainView(); }, {}, {}, {}});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (bool withRow : {false, true}) {
        if (withRow)
            addTorrent(QStringLiteral("only"), TorrentLine::Paused);
        controller->statsView()->setFocus();
        QTest::keyClick(controller->statsView(), Qt::Key_Tab);
        EXPECT_TRUE(controller->outlineView()->hasFocus());
        EXPECT_EQ(controller->selectedObject() != nullptr, withRow);
    }
    KeyViewLoop::install({});
    controller->statsView()->setParent(nullptr);  // the controller deletes its views
    controller->mainView()->setParent(nullptr);
}
