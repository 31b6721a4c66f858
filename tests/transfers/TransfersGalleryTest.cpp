#include "TransfersFixture.h"
#include "support/Pictures.h"

#include "transfers/DownloadProgressCell.h"
#include "transfers/DownloadsPaneFileCell.h"
#include "transfers/DownloadsPaneTransferCell.h"
#include "transfers/TransferArtwork.h"

#include "uikit/PZOutlineProxyModel.h"

#include <QHeaderView>
#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// The transfers pane with a row in every state and one torrent expanded into its files, saved as a PNG
// for a look by eye (OMBRELAY_TRANSFERS_PNG, else transfers-gallery.png in the build folder).
class TransfersGallery : public TransfersFixture
{
protected:
    // Half of the wanted bytes in, a rate, and peers.
    void makeDownloading(const TorrentLinePtr& torrent, int seeds, int others)
    {
        torrent->updateNeededPieces();
        torrent->setDownloaded(torrent->amountRequested().value() / 2 + 1234);
        peers.counts[torrent.get()] = {seeds + others, seeds, 0};
        torrent->downloadBandwidth().recordBytes(1500);
        torrent->invalidateValues();
    }
};

}  // namespace

TEST(TransferTexts, FileCountsStatesAndPercentages)
{
    EXPECT_EQ(DownloadsPaneFileCell::filesText(2, 3), QStringLiteral("2 of 3 files"));
    EXPECT_EQ(DownloadsPaneFileCell::filesText(3, 3), QStringLiteral("3 files"));
    EXPECT_EQ(DownloadsPaneFileCell::filesText(1, 1), QStringLiteral("1 file"));
    EXPECT_EQ(DownloadsPaneFileCell::filesText(0, 0), QStringLiteral("0 files"));
    EXPECT_EQ(DownloadProgressCell::percentText(0.0f), QStringLiteral("0.0%"));
    EXPECT_EQ(DownloadProgressCell::percentText(1.0f), QStringLiteral("100.0%"));
    EXPECT_EQ(DownloadProgressCell::percentText(0.4567f), QStringLiteral("45.7%"));
}

TEST_F(TransfersGallery, EveryStateHasItsRowAndThePictureIsSaved)
{
    Settings::instance().setValue(QStringLiteral("kDisplayPercentages"), true);
    TorrentLinePtr downloading = addTorrent(QStringLiteral("Debian netinst 12.4"), TorrentLine::Downloading, 3);
    downloading->files()[2]->setCheckboxState(OBLine::Skipped, false);
    makeDownloading(downloading, 1, 2);
    TorrentLinePtr paused = addTorrent(QStringLiteral("Big Buck Bunny 1080p.mkv"), TorrentLine::Paused);
    TorrentLinePtr queued = addTorrent(QStringLiteral("Sintel soundtrack.flac"), TorrentLine::Waiting);
    TorrentLinePtr complete = addTorrent(QStringLiteral("Public domain audiobooks.zip"), TorrentLine::Complete);
    QFile content(complete->fullPath());
    ASSERT_TRUE(content.open(QIODevice::WriteOnly));
    content.close();
    TorrentLinePtr halted = addTorrent(QStringLiteral("Open street map extract.pbf"), TorrentLine::Halted, 1,
                                       QStringLiteral("/media/gone/Downloads"));
    for (const TorrentLinePtr& torrent : {paused, queued, complete, halted}) {
        torrent->updateNeededPieces();
        torrent->invalidateValues();
    }
    complete->restoreDownloadState(TorrentLine::Complete);  // every piece verified, as after a completion
    complete->invalidateValues();
    paused->setDownloaded(paused->amountRequested().value() / 5);
    paused->invalidateValues();

    EXPECT_EQ(DownloadsPaneTransferCell::stateText(*paused), QStringLiteral("Paused"));
    EXPECT_EQ(DownloadsPaneTransferCell::stateText(*queued), QStringLiteral("Queued"));
    EXPECT_EQ(DownloadsPaneTransferCell::stateText(*halted), QStringLiteral("Halted"));
    EXPECT_TRUE(DownloadsPaneTransferCell::stateText(*complete) == QStringLiteral("Sharing") ||
                DownloadsPaneTransferCell::stateText(*complete) == QStringLiteral("Complete"));
    EXPECT_TRUE(DownloadsPaneTransferCell::stateText(*downloading).endsWith(QStringLiteral("B/s")))
        << qPrintable(DownloadsPaneTransferCell::stateText(*downloading));
    EXPECT_EQ(downloading->stateDescription(), QStringLiteral("1 seed, 2 peers"));
    EXPECT_GT(downloading->timeRemaining(), 0);

    QWidget* pane = controller->mainView();
    pane->resize(860, 420);
    pane->show();
    DownloadsOutlineView* view = controller->outlineView();
    view->setSortDescriptors({{QStringLiteral("name"), true, QStringLiteral("caseInsensitiveCompare:")}});
    view->rearrangeObjects();
    QApplication::processEvents();
    view->expand(view->indexForObject(view->itemFor(downloading.get())));
    view->selectObjects({view->itemFor(complete.get())});
    QApplication::processEvents();

    const QPixmap shot = pane->grab();
    const QString path = picturePath("OMBRELAY_TRANSFERS_PNG", QStringLiteral("transfers-gallery.png"));
    ASSERT_TRUE(shot.save(path)) << path.toStdString();
    std::fprintf(stderr, "transfers gallery: %s\n", qPrintable(path));

    // The downloading row's bar is filled in the active colour up to about half its width, empty after.
    const QImage image = shot.toImage();
    const QPoint origin = view->viewport()->mapTo(pane, QPoint(0, 0));
    const QRect cell = view->visualRect(view->indexForObject(view->itemFor(downloading.get()), 1));
    const QRect bar = DownloadProgressCell::progressRectInCell(cell).translated(origin);
    const QColor filled = image.pixelColor(bar.x() + bar.width() / 4, bar.center().y());
    const QColor empty = image.pixelColor(bar.x() + bar.width() * 3 / 4, bar.center().y());
    EXPECT_TRUE(nearColor(filled, TransferArtwork::fillColor(TransferArtwork::BarColor::Active), 40)) << qPrintable(filled.name());
    EXPECT_TRUE(nearColor(empty, QColor(231, 231, 231), 20)) << qPrintable(empty.name());
    // The complete row's bar is green.
    const QRect doneCell = view->visualRect(view->indexForObject(view->itemFor(complete.get()), 1));
    const QRect doneBar = DownloadProgressCell::progressRectInCell(doneCell).translated(origin);
    EXPECT_TRUE(nearColor(image.pixelColor(doneBar.x() + 4, doneBar.center().y()),
                     TransferArtwork::fillColor(TransferArtwork::BarColor::Complete), 40));
    // The rate column writes a running torrent's rate in black and the other states in grey.
    const auto rateText = [&](const TorrentLinePtr& torrent) {
        const QRect cell = view->visualRect(view->indexForObject(view->itemFor(torrent.get()), 2)).translated(origin);
        return darkestGrey(image, cell.adjusted(2, 8, -20, -8));  // the button at the right left out
    };
    EXPECT_LT(rateText(downloading), 60);
    for (const TorrentLinePtr& torrent : {paused, queued, halted})
        EXPECT_GT(rateText(torrent), 100) << qPrintable(torrent->path());
    // The three file rows are shown under the expanded torrent.
    EXPECT_TRUE(view->isExpanded(view->indexForObject(view->itemFor(downloading.get()))));
    EXPECT_EQ(view->arrangedModel()->rowCount(view->indexForObject(view->itemFor(downloading.get()))), 3);
}
