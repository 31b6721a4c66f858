#include "transfers/DownloadsPaneTransferCell.h"

#include "engine/torrent/TorrentLine.h"
#include "kit/PZBandwidth.h"
#include "transfers/DownloadsPaneFileCell.h"
#include "transfers/TransferItem.h"
#include "uikit/PZText.h"

#include <QAbstractScrollArea>

namespace ombrelay {

QString DownloadsPaneTransferCell::stateText(const TorrentLine& torrent)
{
    if (torrent.isHalted())
        return QStringLiteral("Halted");
    if (torrent.isPaused())
        return QObject::tr("Paused");
    if (torrent.isWaiting())
        return QObject::tr("Queued");
    if (torrent.isComplete())
        return torrent.shouldSeed() ? QObject::tr("Sharing") : QObject::tr("Complete");
    return PZBandwidth::sizeWithValue(quint64(std::max(0.0f, torrent.downloadRate()))).description();
}

bool DownloadsPaneTransferCell::isRunning(const TorrentLine& torrent)
{
    return !torrent.isPaused() && !torrent.isWaiting() && !torrent.isComplete() && !torrent.isHalted();
}

const PZTextAttributes* DownloadsPaneTransferCell::primaryAttributes() const
{
    const TorrentLine* torrent = torrentLine();
    return torrent && isRunning(*torrent) ? &PZText::textAttributesCentered12() : &PZText::textAttributesGrayCentered12();
}

const PZTextAttributes* DownloadsPaneTransferCell::primaryAttributesAlternate() const
{
    const TorrentLine* torrent = torrentLine();
    return torrent && isRunning(*torrent) ? &PZText::textAttributesWhiteCentered12()
                                          : &PZText::textAttributesBlendedCentered12();
}

void DownloadsPaneTransferCell::drawInterior(QPainter& painter, const QRect& frame)
{
    TorrentLine* torrent = torrentLine();
    setPrimary(torrent ? stateText(*torrent) : QString());
    setSecondary({});
    setImage({});
    DownloadsPaneCell::drawInterior(painter, frame);
}

qreal DownloadsPaneTransferCell::drawRightDecoration(QPainter& painter, const QRect& frame)
{
    TorrentLine* torrent = torrentLine();
    if (!torrent || torrent->isComplete())
        return 0;
    const QPoint at(frame.x() + frame.width() - 17, frame.y() + (frame.height() - 13) / 2);
    if (torrent->isPaused() || torrent->isHalted())
        drawButton(painter, QStringLiteral("Resume13"), QStringLiteral("ResumeActive13"), 0, at);
    else if (torrent->isWaiting())
        drawButton(painter, QStringLiteral("Download13"), QStringLiteral("DownloadActive13"), 0, at);
    else
        drawButton(painter, QStringLiteral("Pause13"), QStringLiteral("PauseActive13"), 0, at);
    return 17;
}

QList<QRect> DownloadsPaneTransferCell::controlRects(const QRect& frame, PZOutlineObject* object) const
{
    auto* row = static_cast<TransferItem*>(object);
    if (!row || !row->torrentLine() || row->torrentLine()->isComplete())
        return {};
    return {QRect(frame.x() + frame.width() - 17, frame.y() + (frame.height() - 13) / 2, 13, 13)};
}

void DownloadsPaneTransferCell::performAction(PZOutlineObject* object, QWidget* view)
{
    auto* row = static_cast<TransferItem*>(object);
    TorrentLine* torrent = row ? row->torrentLine() : nullptr;
    if (!torrent)
        return;
    if (torrent->isHalted())
        DownloadsPaneFileCell::unattachedDiskAlert(*torrent);
    else if (torrent->isPaused() || torrent->isWaiting())
        torrent->retryDownload();
    else
        torrent->pauseDownload();
    if (auto* area = qobject_cast<QAbstractScrollArea*>(view))
        area->viewport()->update();
}

}  // namespace ombrelay
