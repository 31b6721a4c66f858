#include "search/views/QueryPaneDownloadCell.h"

#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "search/views/ResultArtwork.h"
#include "search/views/ResultItem.h"
#include "transfers/TransferArtwork.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZOutlineView.h"
#include "uikit/PZText.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>

namespace ombrelay {

namespace {

enum class Row { None, Remove, Download, Wanted, Complete, GetFile };

Row rowKind(ResultItem* item)
{
    if (!item || item->isRSSArticleLine())
        return Row::None;
    if (TorrentLine* torrent = item->torrentLine())
        return torrent->isDownloading() ? Row::Remove : Row::Download;
    const auto* file = dynamic_cast<const FileLine*>(item->shownLine());
    if (!file)
        return Row::None;
    if (file->isComplete() && file->shouldDownload())
        return Row::Complete;
    if (file->shouldDownload() && file->isDownloading())
        return Row::Wanted;
    return Row::GetFile;
}

PZTextAttributes barText(float alpha)
{
    PZTextAttributes attributes;
    attributes.font = PZText::systemFont(8, true);
    attributes.color = QColor::fromRgbF(0, 0, 0, alpha);
    attributes.paragraph = PZText::centerParagraphStyle();
    return attributes;
}

}  // namespace

QRect QueryPaneDownloadCell::progressRectInCell(const QRect& frame)
{
    return QRect(frame.x() + 7, frame.y() + (frame.height() - 12) / 2, frame.width() - 14, 12);
}

QString QueryPaneDownloadCell::bandwidthText(TorrentLine& download, bool* isState)
{
    QString text;
    if (isState)
        *isState = true;
    if (download.isPaused())
        text = QCoreApplication::translate("QueryPaneDownloadCell", "Paused");
    if (download.isWaiting())
        text = QCoreApplication::translate("QueryPaneDownloadCell", "Queued");
    if (download.downloadRate() >= 0.1f && !download.isComplete()) {
        text = download.downloadBandwidth().formatter().descriptionWithPostfix(QString());
        if (isState)
            *isState = false;
    }
    return text;
}

QList<QRect> QueryPaneDownloadCell::controlRects(const QRect& frame, PZOutlineObject* object) const
{
    const int x = frame.x(), y = frame.y(), w = frame.width(), h = frame.height();
    switch (rowKind(dynamic_cast<ResultItem*>(object))) {
    case Row::Remove: return {QRect(x + w - 19, y + (h - 12) / 2, 12, 12)};
    case Row::Download: return {QRect(x + (w - 66) / 2, y + (h - 13) / 2, 66, 13)};
    case Row::GetFile: return {QRect(x + (w - 52) / 2, y + 2, 52, 13)};
    default: return {};
    }
}

void QueryPaneDownloadCell::performAction(PZOutlineObject* object, QWidget* view)
{
    auto* item = dynamic_cast<ResultItem*>(object);
    if (!item)
        return;
    if (TorrentLine* torrent = item->torrentLine())
        torrent->performAction();
    else if (auto* file = dynamic_cast<FileLine*>(item->shownLine()))
        file->performAction();
    if (auto* area = qobject_cast<QAbstractScrollArea*>(view))
        area->viewport()->update();
}

void QueryPaneDownloadCell::drawInterior(QPainter& painter, const QRect& frame)
{
    auto* item = dynamic_cast<ResultItem*>(cellObject());
    const Row kind = rowKind(item);
    if (kind == Row::None || kind == Row::Wanted)
        return;
    ResultArtwork::registerImages();
    const bool pressed = activeTrackingRect() >= 0;
    const int x = frame.x(), y = frame.y(), w = frame.width(), h = frame.height();
    if (kind == Row::Remove) {
        const TorrentLinePtr download = item->torrentLine()->btDownload();
        const QRect bar = progressRectInCell(frame);
        const auto colour = download->isComplete() ? TransferArtwork::BarColor::Complete
                            : download->isActive() ? TransferArtwork::BarColor::Active
                                                   : TransferArtwork::BarColor::Inactive;
        TransferArtwork::drawProgressBar(painter, bar, download->fractionLoaded(), colour);
        drawBandwidth(painter, *download, bar);
        if (download->isInitializing()) {
            auto* view = qobject_cast<PZOutlineView*>(state().view);
            TransferArtwork::drawIndeterminate(painter, bar.adjusted(1, 1, -1, -1),
                                               view ? int(view->animationOffset() % 8) : 0);
        }
        drawRemoveButton(painter, frame);
    } else if (kind == Row::Download) {
        const QPixmap image = PZImage::flippedImageNamed(pressed ? QStringLiteral("DownloadCellActive")
                                                                 : QStringLiteral("DownloadCell"));
        PZImageDrawing::drawInRect(painter, image, QRectF(x + (w - 66) * 0.5, y + (h - image.height()) / 2, 66, 13));
    } else if (kind == Row::Complete) {
        const QPixmap image = PZImage::flippedImageNamed(pressed ? QStringLiteral("CompleteActive12")
                                                                 : QStringLiteral("Complete12"));
        PZImageDrawing::drawAtPoint(painter, image, QPointF(x + (w - 12) * 0.5, y + 2), 1.0);
    } else {
        const QPixmap image = PZImage::flippedImageNamed(pressed ? QStringLiteral("GetFileActive")
                                                                 : QStringLiteral("GetFile"));
        PZImageDrawing::drawInRect(painter, image, QRectF(x + (w - 52) * 0.5, y + 2, 52, 13));
    }
}

void QueryPaneDownloadCell::drawBandwidth(QPainter& painter, TorrentLine& download, const QRect& rect)
{
    bool isState = true;
    const QString text = bandwidthText(download, &isState);
    if (text.isEmpty())
        return;
    static const PZTextAttributes state = barText(0.4f);
    static const PZTextAttributes rate = barText(0.8f);
    const PZTextAttributes& attributes = isState ? state : rate;
    const QRect textRect(rect.x() + 2, rect.y(), rect.width() - 4, rect.height());
    painter.save();
    painter.setFont(attributes.font);
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.7f));  // the white shadow
    painter.drawText(textRect.translated(0, 1), Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.setPen(attributes.color);
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.restore();
}

void QueryPaneDownloadCell::drawRemoveButton(QPainter& painter, const QRect& frame)
{
    const qreal opacity = activeTrackingRect() >= 0 ? 0.6 : 0.3;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    PZImageDrawing::drawAtPoint(painter, PZImage::flippedImageNamed(QStringLiteral("Close8")),
                                QPointF(frame.x() + frame.width() - 17, frame.y() + 2 + (frame.height() - 12) / 2),
                                opacity);
    painter.restore();
}

}  // namespace ombrelay
