#pragma once

#include "transfers/DownloadsPaneCell.h"

namespace ombrelay {

// The time column: the time left of a downloading torrent over "remaining", centred.
class DownloadsPaneTimeRemainingCell : public DownloadsPaneCell
{
public:
    bool isCentered() const override { return true; }
    // Text only: none of the checkbox of the cells it shares its drawing with.
    QList<QRect> controlRects(const QRect&, PZOutlineObject*) const override { return {}; }

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    QPoint primaryOffset() const override { return {7, 6}; }
    QPoint secondaryOffset() const override { return {7, 20}; }
    qreal drawLeftDecoration(QPainter&, const QRect&) override { return 0; }
};

}  // namespace ombrelay
