#include "uikit/PZRoundRect.h"

namespace ombrelay {

QPainterPath PZRoundRect::roundRectangleInRect(const QRectF& rect, qreal cornerRadius)
{
    QPainterPath path;
    path.addRoundedRect(rect, cornerRadius, cornerRadius);
    return path;
}

QPainterPath PZRoundRect::roundRectangleInRect(const QRectF& rect)
{
    return roundRectangleInRect(rect, rect.height() / 2);
}

}  // namespace ombrelay
