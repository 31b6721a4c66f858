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
    const bool shown = torrent && torrent->timeRemaining() > 0;
    setPrimary(shown ? DateText::stringFromTimeInterval(torrent->timeRemaining()) : QString());
    setSecondary(shown ? QObject::tr("remaining") : QString());
    setImage({});
    DownloadsPaneCell::drawInterior(painter, frame);
}

}  // namespace ombrelay
