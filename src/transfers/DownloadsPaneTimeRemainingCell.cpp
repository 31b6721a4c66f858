#include "transfers/DownloadsPaneTimeRemainingCell.h"

#include "engine/torrent/TorrentLine.h"
#include "kit/DateText.h"

namespace ombrelay {

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
