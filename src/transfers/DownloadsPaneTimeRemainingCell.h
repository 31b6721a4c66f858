#pragma once

#include "transfers/DownloadsPaneCell.h"

namespace ombrelay {

// The time column: the time left of a downloading torrent over "remaining", centred.
class DownloadsPaneTimeRemainingCell : public DownloadsPaneCell
{
public:
    const PZTextAttributes* primaryAttributes() const override;
    const PZTextAttributes* primaryAttributesAlternate() const override;
    const PZTextAttributes* secondaryAttributes() const override;
    const PZTextAttributes* secondaryAttributesAlternate() const override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    QPoint primaryOffset() const override { return {7, 6}; }
    QPoint secondaryOffset() const override { return {7, 20}; }
    qreal drawLeftDecoration(QPainter&, const QRect&) override { return 0; }
};

}  // namespace ombrelay
