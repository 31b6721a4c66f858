#pragma once

#include <QPainterPath>
#include <QRectF>

namespace ombrelay {

// Closed rounded-rectangle paths.
class PZRoundRect
{
public:
    static QPainterPath roundRectangleInRect(const QRectF& rect, qreal cornerRadius);
    // Ends fully round: the radius is half the height.
    static QPainterPath roundRectangleInRect(const QRectF& rect);
};

}  // namespace ombrelay
