#pragma once

#include <QPixmap>
#include <QList>
#include <QPainter>
#include <QRect>

namespace ombrelay {

// Image drawing shared by the cells: tiling, three-slice stretching and drawing with an opacity.
class PZImageDrawing
{
public:
    struct Slice
    {
        QRect source;
        QRectF target;
    };

    // Copies side by side from the left, the last one cut to the remaining width; source over.
    static void drawAsPatternInRect(QPainter& painter, const QPixmap& image, const QRectF& rect);
    static QList<Slice> patternSlices(const QSize& image, const QRectF& rect);

    // The left `cap` columns at the left, the column at x = cap stretched over the middle and the rest
    // at the right; every slice as high as the rectangle. Source over.
    static void drawInRect(QPainter& painter, const QPixmap& image, const QRectF& rect, int leftCapWidth);
    static QList<Slice> threeSlices(const QSize& image, const QRectF& rect, int leftCapWidth);

    static void drawAtPoint(QPainter& painter, const QPixmap& image, const QPointF& point);
    static void drawAtPoint(QPainter& painter, const QPixmap& image, const QPointF& point, qreal opacity,
                            QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver);
    static void drawInRect(QPainter& painter, const QPixmap& image, const QRectF& rect);

    // An opacity limited to 0..1; a non-finite one draws fully.
    static qreal clampedOpacity(qreal opacity);
};

}  // namespace ombrelay
