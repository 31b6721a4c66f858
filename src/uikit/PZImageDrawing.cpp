#include "uikit/PZImageDrawing.h"

#include <algorithm>
#include <cmath>

namespace ombrelay {

namespace {

void drawSlices(QPainter& painter, const QPixmap& image, const QList<PZImageDrawing::Slice>& slices)
{
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (const PZImageDrawing::Slice& slice : slices)
        painter.drawPixmap(slice.target, image, slice.source);
    painter.restore();
}

}  // namespace

QList<PZImageDrawing::Slice> PZImageDrawing::patternSlices(const QSize& image, const QRectF& rect)
{
    QList<Slice> slices;
    if (image.width() <= 0 || image.height() <= 0)
        return slices;
    qreal x = rect.x();
    for (qreal remaining = rect.width(); remaining > 0; remaining -= image.width(), x += image.width()) {
        if (image.width() < remaining) {
            slices.append({QRect(QPoint(0, 0), image), QRectF(QPointF(x, rect.y()), image)});
        } else {
            const int width = int(remaining);
            const int height = std::min(image.height(), int(rect.height()));
            if (width > 0 && height > 0)
                slices.append({QRect(0, 0, width, height), QRectF(x, rect.y(), width, height)});
        }
    }
    return slices;
}

void PZImageDrawing::drawAsPatternInRect(QPainter& painter, const QPixmap& image, const QRectF& rect)
{
    drawSlices(painter, image, patternSlices(image.size(), rect));
}

QList<PZImageDrawing::Slice> PZImageDrawing::threeSlices(const QSize& image, const QRectF& rect, int leftCapWidth)
{
    QList<Slice> slices;
    const int cap = leftCapWidth;
    if (cap < 0 || cap >= image.width() || image.height() <= 0)
        return slices;
    const int height = int(rect.height());
    const int right = image.width() - cap - 1;
    slices.append({QRect(0, 0, cap, image.height()), QRectF(rect.x(), rect.y(), cap, height)});
    slices.append({QRect(cap, 0, 1, image.height()),
                   QRectF(rect.x() + cap, rect.y(), rect.width() - image.width() + 1, height)});
    slices.append({QRect(cap + 1, 0, right, image.height()), QRectF(rect.right() - right, rect.y(), right, height)});
    return slices;
}

void PZImageDrawing::drawInRect(QPainter& painter, const QPixmap& image, const QRectF& rect, int leftCapWidth)
{
    drawSlices(painter, image, threeSlices(image.size(), rect, leftCapWidth));
}

void PZImageDrawing::drawAtPoint(QPainter& painter, const QPixmap& image, const QPointF& point)
{
    drawSlices(painter, image, {{image.rect(), QRectF(point, image.size())}});
}

void PZImageDrawing::drawAtPoint(QPainter& painter, const QPixmap& image, const QPointF& point, qreal opacity,
                                 QPainter::CompositionMode mode)
{
    painter.save();
    painter.setCompositionMode(mode);
    painter.setOpacity(clampedOpacity(opacity));
    painter.drawPixmap(point, image);
    painter.restore();
}

void PZImageDrawing::drawInRect(QPainter& painter, const QPixmap& image, const QRectF& rect)
{
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawPixmap(rect, image, QRectF(image.rect()));
    painter.restore();
}

qreal PZImageDrawing::clampedOpacity(qreal opacity)
{
    return std::isfinite(opacity) ? std::clamp(opacity, 0.0, 1.0) : 1.0;
}

}  // namespace ombrelay
