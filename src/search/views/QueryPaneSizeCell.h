#pragma once

#include "uikit/PZNode.h"

namespace ombrelay {

// The size column: the line's length, centred; a skipped file and a feed article in grey.
class QueryPaneSizeCell : public PZNode
{
public:
    const PZTextAttributes* primaryAttributes() const override;
    const PZTextAttributes* primaryAttributesAlternate() const override;
    const PZTextAttributes* secondaryAttributes() const override;
    const PZTextAttributes* secondaryAttributesAlternate() const override;
    QPoint primaryOffset() const override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    qreal drawLeftDecoration(QPainter&, const QRect&) override { return 0; }

private:
    bool m_isTorrentLine = false;
    bool m_useLargeViewMode = false;
    bool m_dimmed = false;
};

}  // namespace ombrelay
