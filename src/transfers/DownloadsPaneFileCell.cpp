#include "transfers/DownloadsPaneFileCell.h"

#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "transfers/DesktopFiles.h"
#include "transfers/PathExistenceCache.h"
#include "transfers/TransferItem.h"
#include "uikit/PZIconCache.h"
#include "uikit/PZText.h"

#include <QAbstractScrollArea>

namespace ombrelay {

namespace {

std::function<void(TorrentLine&)>& unattachedDiskAction()
{
    static std::function<void(TorrentLine&)> action;
    return action;
}

}  // namespace

void DownloadsPaneFileCell::setUnattachedDiskAction(std::function<void(TorrentLine&)> action)
{
    unattachedDiskAction() = std::move(action);
}

void DownloadsPaneFileCell::unattachedDiskAlert(TorrentLine& torrent)
{
    if (unattachedDiskAction())
        unattachedDiskAction()(torrent);
}

QString DownloadsPaneFileCell::filesText(int activeFiles, int fileCount)
{
    if (activeFiles != fileCount)
        return QObject::tr("%1 of %2 files").arg(activeFiles).arg(fileCount);
    if (fileCount != 1)
        return QObject::tr("%1 files").arg(fileCount);
    return QObject::tr("1 file");
}

bool DownloadsPaneFileCell::revealable(const TransferItem& item)
{
    if (item.torrent()->isHalted())
        return false;
    if (item.fileLine() && !item.fileLine()->shouldDownload())
        return false;
    return PathExistenceCache::instance().exists(item.line()->fullPath());
}

QPoint DownloadsPaneFileCell::primaryOffset() const
{
    if (!isTorrentRow())
        return {7, 1};
    return m_filesPart.isEmpty() && m_statePart.isEmpty() ? QPoint(7, 12) : QPoint(7, 5);
}

QPoint DownloadsPaneFileCell::imageOffset() const
{
    return isTorrentRow() ? QPoint(4, 4) : QPoint(4, 0);
}

bool DownloadsPaneFileCell::isSkippedFile() const
{
    const TransferItem* row = item();
    return row && row->fileLine() && !row->fileLine()->shouldDownload();
}

const PZTextAttributes* DownloadsPaneFileCell::primaryAttributes() const
{
    return isSkippedFile() ? &PZText::textAttributesGray11() : DownloadsPaneCell::primaryAttributes();
}

const PZTextAttributes* DownloadsPaneFileCell::primaryAttributesAlternate() const
{
    return isSkippedFile() ? &PZText::textAttributesBlended11() : DownloadsPaneCell::primaryAttributesAlternate();
}

void DownloadsPaneFileCell::drawInterior(QPainter& painter, const QRect& frame)
{
    TransferItem* row = item();
    if (!row)
        return;
    PZIconCache& icons = isTorrentRow() ? PZIconCache::instance32() : PZIconCache::instance16();
    const OBLine* line = row->line();
    setPrimary(line->path());
    setImage(line->isLeaf() ? icons.iconForExtension(line->pathExtension()) : icons.folderIcon());
    setAlternateImage({});
    m_filesPart.clear();
    m_statePart.clear();
    if (TorrentLine* torrent = torrentLine()) {
        if (!torrent->isLeaf())
            m_filesPart = filesText(torrent->numberOfActiveFiles(), int(torrent->fileCount()));
        m_statePart = torrent->stateDescription();
        if (!m_statePart.isEmpty() && !m_filesPart.isEmpty())
            m_statePart.prepend(QStringLiteral(" - "));
    }
    PZCheckboxCell::drawInterior(painter, frame);
    drawSecondLine(painter, frame);
}

// The file count in blue, then the state in grey, on one line.
void DownloadsPaneFileCell::drawSecondLine(QPainter& painter, const QRect& frame)
{
    if (m_filesPart.isEmpty() && m_statePart.isEmpty())
        return;
    const PZTextAttributes& files = lineAttributes(tertiaryAttributes(), secondaryAttributesAlternate());
    const PZTextAttributes& state = lineAttributes(secondaryAttributes(), secondaryAttributesAlternate());
    const QRect rect = lineRect(frame, shiftedOffset(secondaryOffset()), files.font);
    const QString filesShown = QFontMetrics(files.font).elidedText(m_filesPart, Qt::ElideRight, rect.width());
    painter.save();
    painter.setFont(files.font);
    painter.setPen(files.color);
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, filesShown);
    const int used = QFontMetrics(files.font).horizontalAdvance(filesShown);
    const QRect rest = rect.adjusted(used, 0, 0, 0);
    painter.setFont(state.font);
    painter.setPen(state.color);
    painter.drawText(rest, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(state.font).elidedText(m_statePart, Qt::ElideRight, rest.width()));
    painter.restore();
}

qreal DownloadsPaneFileCell::drawRightDecoration(QPainter& painter, const QRect& frame)
{
    TransferItem* row = item();
    if (row && revealable(*row)) {
        drawButton(painter, QStringLiteral("Reveal13"), QStringLiteral("RevealActive13"), 1,
                   QPoint(frame.x() + frame.width() - 16, frame.y() + (frame.height() - 13) / 2));
        return 20;
    }
    if (row && torrentLine() && torrentLine()->isHalted()) {
        drawButton(painter, QStringLiteral("Alert16"), QStringLiteral("Alert16Highlighted"), 1,
                   QPoint(frame.x() + frame.width() - 18, frame.y() + (frame.height() - 16) / 2));
        return 20;
    }
    return 0;
}

QList<QRect> DownloadsPaneFileCell::controlRects(const QRect& frame, PZOutlineObject* object) const
{
    QList<QRect> rects = PZCheckboxCell::controlRects(frame, object);
    auto* row = static_cast<TransferItem*>(object);
    if (row && revealable(*row))
        rects.append(QRect(frame.x() + frame.width() - 16, frame.y() + (frame.height() - 12) / 2, 12, 12));
    else if (row && row->torrentLine() && row->torrentLine()->isHalted())
        rects.append(QRect(frame.x() + frame.width() - 18, frame.y() + (frame.height() - 16) / 2, 16, 16));
    else
        rects.append(QRect());
    return rects;
}

void DownloadsPaneFileCell::performActionOnRect(int rect, PZOutlineObject* object, QWidget* view)
{
    if (rect == 0) {
        PZCheckboxCell::performAction(object, view);
        return;
    }
    auto* row = static_cast<TransferItem*>(object);
    if (!row)
        return;
    if (revealable(*row))
        DesktopFiles::reveal(row->line()->fullPath());
    else if (row->torrentLine() && row->torrentLine()->isHalted())
        unattachedDiskAlert(*row->torrentLine());
}

}  // namespace ombrelay
