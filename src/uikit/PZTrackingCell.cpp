#include "uikit/PZTrackingCell.h"

namespace ombrelay {

void PZTrackingCell::draw(QPainter& painter, const QRect& frame, const PZCellState& state)
{
    m_state = state;
    painter.save();
    drawInterior(painter, frame);
    painter.restore();
}

int PZTrackingCell::trackingRectAt(const QPoint& point, const QRect& frame, PZOutlineObject* object) const
{
    const QList<QRect> rects = controlRects(frame, object);
    for (int index = 0; index < rects.size(); ++index) {
        if (rects[index].contains(point))
            return index;
    }
    return -1;
}

}  // namespace ombrelay
