#include "transfers/DownloadProgressCell.h"

#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/OBDefaults.h"
#include "kit/PZFileSize.h"
#include "kit/Settings.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/TransferArtwork.h"
#include "transfers/TransferItem.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZText.h"

#include <QAbstractScrollArea>

namespace ombrelay {

namespace {

PZTextAttributes rightAligned(const PZTextAttributes& base)
{
    PZTextAttributes attributes = base;
    attributes.paragraph = PZText::rightParagraphStyle();
    return attributes;
}

constexpr int kTextWidth = 76;

}  // namespace

QString DownloadProgressCell::percentText(float fraction)
{
    return QString::asprintf("%.1f%%", double(fraction) * 100.0);
}

QRect DownloadProgressCell::progressRectInCell(const QRect& frame)
{
    return QRect(frame.x() + 82, frame.y() + (frame.height() - 13) / 2, std::max(0, frame.width() - 82 - 22), 13);
}

QRect DownloadProgressCell::downloadButtonFrameInRect(const QRect& frame)
{
    const QRect bar = progressRectInCell(frame);
    return QRect(bar.x() + (bar.width() - 52) / 2, frame.y() + 2, 52, 13);
}

// Every text is 11 points, right-aligned. A file row's text is grey until its line is complete.
const PZTextAttributes* DownloadProgressCell::primaryAttributes() const
{
    static const PZTextAttributes plain = rightAligned(PZText::textAttributes11());
    static const PZTextAttributes grey = rightAligned(PZText::textAttributesGray11());
    return isTorrentRow() || m_completeLine ? &plain : &grey;
}

const PZTextAttributes* DownloadProgressCell::primaryAttributesAlternate() const
{
    static const PZTextAttributes white = rightAligned(PZText::textAttributesWhite11());
    static const PZTextAttributes blended = rightAligned(PZText::textAttributesBlended11());
    return isTorrentRow() || m_completeLine ? &white : &blended;
}

const PZTextAttributes* DownloadProgressCell::secondaryAttributes() const
{
    static const PZTextAttributes attributes = rightAligned(PZText::textAttributesGray11());
    return &attributes;
}

const PZTextAttributes* DownloadProgressCell::secondaryAttributesAlternate() const
{
    static const PZTextAttributes attributes = rightAligned(PZText::textAttributesBlended11());
    return &attributes;
}

// The total size: in the primary style once complete, else in the secondary one.
const PZTextAttributes* DownloadProgressCell::tertiaryAttributes() const
{
    return m_completeLine ? primaryAttributes() : secondaryAttributes();
}

const PZTextAttributes* DownloadProgressCell::tertiaryAttributesAlternate() const
{
    return m_completeLine ? primaryAttributesAlternate() : secondaryAttributesAlternate();
}

QPoint DownloadProgressCell::primaryOffset() const
{
    return isTorrentRow() ? QPoint(0, 6) : QPoint(9, 1);
}

void DownloadProgressCell::drawInterior(QPainter& painter, const QRect& frame)
{
    setImage({});
    setPrimary({});
    setSecondary({});
    setTertiary({});
    if (TorrentLine* torrent = torrentLine())
        drawTorrentRow(painter, frame, *torrent);
    else if (item())
        drawFileRow(painter, frame);
}

void DownloadProgressCell::drawTorrentRow(QPainter& painter, const QRect& frame, TorrentLine& torrent)
{
    if (activeTrackingRect() == 1) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(state().highlighted ? QColor(255, 255, 255, 26) : QColor(0, 0, 0, 13));
        painter.drawRoundedRect(QRectF(frame.x() + 3, frame.y() + 5, 75, 31), 6, 6);
        painter.restore();
    }
    const auto color = torrent.isComplete() ? TransferArtwork::BarColor::Complete
                       : torrent.isActive() ? TransferArtwork::BarColor::Active
                                            : TransferArtwork::BarColor::Inactive;
    const QRect bar = progressRectInCell(frame);
    TransferArtwork::drawProgressBar(painter, bar, torrent.fractionLoaded(), color);
    if (torrent.isComplete())
        PZImageDrawing::drawAtPoint(painter, PZImage::flippedImageNamed(QStringLiteral("Complete12")),
                                    QPoint(bar.x() + (bar.width() - 12) / 2, bar.y()), 1.0);
    if (torrent.isDownloading() && torrent.isInitializing()) {
        auto* view = dynamic_cast<PZOutlineView*>(state().view);
        TransferArtwork::drawIndeterminate(painter, bar.adjusted(1, 1, -1, -1), view ? int(view->animationOffset()) : 0);
    }
    drawButton(painter, QStringLiteral("Remove13"), QStringLiteral("RemoveActive13"), 0,
               QPoint(frame.x() + frame.width() - 16, frame.y() + (frame.height() - 13) / 2));

    const QString total = torrent.amountRequested().description();
    m_completeLine = torrent.isComplete();
    if (torrent.isComplete()) {
        setTertiary(total);
    } else if (torrent.amountDownloaded().value() == 0) {
        setTertiary(total);
    } else {
        setPrimary(OBDefaults::kDisplayPercentages() ? percentText(torrent.fractionLoaded())
                                                     : torrent.amountDownloaded().description());
        setSecondary(QObject::tr("of %1").arg(total));
    }
    // The amounts are left out of a paint that redraws only the bar (its animation).
    const QRect text(frame.x(), frame.y(), kTextWidth, frame.height());
    const auto* view = dynamic_cast<const PZOutlineView*>(state().view);
    if (!view || view->needsToDraw(text))
        DownloadsPaneCell::drawInterior(painter, text);
}

void DownloadProgressCell::drawFileRow(QPainter& painter, const QRect& frame)
{
    const OBLine* line = item()->line();
    m_completeLine = line->isComplete();
    setPrimary(OBDefaults::kDisplayPercentages() ? percentText(line->fractionLoaded())
                                                 : PZFileSize::sizeWithValue(line->fileLength()).description());
    const QRect button = downloadButtonFrameInRect(frame);
    if (line->isComplete())
        PZImageDrawing::drawAtPoint(painter, PZImage::flippedImageNamed(QStringLiteral("Complete12")),
                                    QPoint(button.x() + button.width() / 2 - 6, button.y()), 1.0);
    else if (line->checkboxState() == OBLine::Skipped)
        drawButton(painter, QStringLiteral("GetFile"), QStringLiteral("GetFileActive"), 0, button.topLeft());
    DownloadsPaneCell::drawInterior(painter, QRect(frame.x(), frame.y(), kTextWidth, frame.height()));
}

QList<QRect> DownloadProgressCell::controlRects(const QRect& frame, PZOutlineObject* object) const
{
    auto* row = static_cast<TransferItem*>(object);
    if (!row)
        return {};
    if (const TorrentLine* torrent = row->torrentLine()) {
        // A complete torrent shows its size only: the amount text switches nothing there.
        const QRect amount = torrent->isComplete() ? QRect() : QRect(frame.x() + 3, frame.y() + 5, 75, 31);
        return {QRect(frame.x() + frame.width() - 16, frame.y() + (frame.height() - 13) / 2, 13, 13), amount};
    }
    if (!row->line()->isComplete() && row->line()->checkboxState() == OBLine::Skipped && row->checkboxIsEnabled())
        return {downloadButtonFrameInRect(frame)};
    return {};
}

void DownloadProgressCell::performActionOnRect(int rect, PZOutlineObject* object, QWidget* view)
{
    auto* row = static_cast<TransferItem*>(object);
    if (!row)
        return;
    auto* outline = qobject_cast<DownloadsOutlineView*>(view);
    if (row->torrentLine() && rect == 0) {
        if (outline)
            outline->removeDownloads({row->torrentPtr()});
        return;
    }
    if (row->torrentLine() && rect == 1) {
        Settings& settings = Settings::instance();
        settings.setBool(QStringLiteral("kDisplayPercentages"), !OBDefaults::kDisplayPercentages());
        settings.sync();
    } else if (!row->torrentLine()) {
        row->setCheckboxState(OBLine::Wanted);
    }
    if (outline)
        outline->viewport()->update();
}

}  // namespace ombrelay
