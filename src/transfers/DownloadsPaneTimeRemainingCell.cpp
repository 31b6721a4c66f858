#include "transfers/DownloadsPaneTimeRemainingCell.h"

#include "engine/torrent/TorrentLine.h"
#include "kit/DateText.h"
#include "uikit/PZText.h"

namespace ombrelay {

const PZTextAttributes* DownloadsPaneTimeRemainingCell::primaryAttributes() const
{
    return &PZText::textAttributesCentered12();
}

const PZTextAttributes* DownloadsPaneTimeRemainingCell::primaryAttributesAlternate() const
{
    return &PZText::textAttributesWhiteCentered12();
}

const PZTextAttributes* DownloadsPaneTimeRemainingCell::secondaryAttributes() const
{
    return &PZText::textAttributesGrayCentered11();
}

const PZTextAttributes* DownloadsPaneTimeRemainingCell::secondaryAttributesAlternate() const
{
    return &PZText::textAttributesWhiteCentered11();
}

void DownloadsPaneTimeRemainingCell::drawInterior(QPainter& painter, const QRect& frame)
{
    TorrentLine* torrent = torrentLine();
    const QString left = torrent && torrent->timeRemaining() > 0
                             ? DateText::stringFromTimeInterval(torrent->timeRemaining())
                             : QString();
    setPrimary(left);
    setSecondary(left.isEmpty() ? QString() : QObject::tr("remaining"));
    setImage({});
    DownloadsPaneCell::drawInterior(painter, frame);
}

}  // namespace ombrelay
