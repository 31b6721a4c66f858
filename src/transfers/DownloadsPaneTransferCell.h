#pragma once

#include "transfers/DownloadsPaneCell.h"

namespace ombrelay {

// The rate column: the torrent's state or download rate, and its pause, resume or start button.
class DownloadsPaneTransferCell : public DownloadsPaneCell
{
public:
    // "Halted", "Paused", "Queued", "Sharing", "Complete", else the download rate.
    static QString stateText(const TorrentLine& torrent);
    // Centred; grey unless the torrent runs (neither paused, waiting, complete nor halted).
    static bool isRunning(const TorrentLine& torrent);

    const PZTextAttributes* primaryAttributes() const override;
    const PZTextAttributes* primaryAttributesAlternate() const override;

    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performAction(PZOutlineObject* object, QWidget* view) override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    qreal drawRightDecoration(QPainter& painter, const QRect& frame) override;
    QPoint primaryOffset() const override { return {7, 12}; }
    qreal drawLeftDecoration(QPainter&, const QRect&) override { return 0; }
};

}  // namespace ombrelay
