#include "transfers/InfoArtwork.h"

#include "uikit/PZArtwork.h"
#include "uikit/PZImage.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>

namespace ombrelay {

namespace {

QImage completeBadge(int edge)
{
    QImage image = PZArtwork::blank(edge, edge);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, edge);
    fill.setColorAt(0, QColor(120, 214, 96));
    fill.setColorAt(1, QColor(52, 150, 40));
    p.setPen(QPen(QColor(30, 100, 24), edge / 22.0));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1, 1, edge - 2, edge - 2));
    p.setPen(QPen(Qt::white, edge / 8.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF{QPointF(edge * 0.27, edge * 0.52), QPointF(edge * 0.44, edge * 0.69),
                             QPointF(edge * 0.74, edge * 0.31)});
    return image;
}

// A pill 16 high whose middle column stretches.
QImage roundButton(bool pressed)
{
    QImage image = PZArtwork::blank(15, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0, 0, 0, 90));
    p.setBrush(pressed ? QColor(0, 0, 0, 110) : QColor(255, 255, 255, 70));
    p.drawRoundedRect(QRectF(0.5, 0.5, 14, 15), 7, 7);
    return image;
}

QImage downArrow(bool lit)
{
    QImage image = PZArtwork::blank(17, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(lit ? QColor(110, 190, 255) : QColor(205, 205, 205));
    p.drawPolygon(QPolygonF{QPointF(4.5, 6), QPointF(12.5, 6), QPointF(8.5, 11)});
    return image;
}

QImage revealButton(bool pressed)
{
    QImage image = PZArtwork::blank(14, 14);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(pressed ? QColor(120, 120, 120) : QColor(180, 180, 180));
    p.drawEllipse(QRectF(0.5, 0.5, 13, 13));
    p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(3.2, 3.2, 5, 5));
    p.drawLine(QPointF(7.6, 7.6), QPointF(10.6, 10.6));
    return image;
}

QImage downloadIcon(bool alternate)
{
    QImage image = PZArtwork::blank(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(alternate ? QColor(Qt::white) : QColor(58, 117, 193));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setBrush(alternate ? QColor(58, 117, 193) : QColor(Qt::white));
    p.drawRect(QRectF(6.5, 3, 3, 6));
    p.drawPolygon(QPolygonF{QPointF(3.5, 8), QPointF(12.5, 8), QPointF(8, 13)});
    return image;
}

QImage selection(bool alternate)
{
    QImage image = PZArtwork::blank(1, 44);
    QPainter p(&image);
    QLinearGradient fill(0, 0, 0, 44);
    fill.setColorAt(0, alternate ? QColor(162, 177, 207) : QColor(92, 147, 213));
    fill.setColorAt(1, alternate ? QColor(133, 150, 186) : QColor(22, 91, 190));
    p.fillRect(image.rect(), fill);
    return image;
}

}  // namespace

void InfoArtwork::registerImages()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    PZImage::registerDrawing(QStringLiteral("Complete44"), [] { return completeBadge(44); });
    PZImage::registerDrawing(QStringLiteral("CompleteBadge"), [] { return completeBadge(16); });
    PZImage::registerDrawing(QStringLiteral("RoundButtonHover"), [] { return roundButton(false); });
    PZImage::registerDrawing(QStringLiteral("RoundButtonActive"), [] { return roundButton(true); });
    PZImage::registerDrawing(QStringLiteral("DownArrow"), [] { return downArrow(false); });
    PZImage::registerDrawing(QStringLiteral("DownArrowHighlighted"), [] { return downArrow(true); });
    PZImage::registerDrawing(QStringLiteral("Reveal14"), [] { return revealButton(false); });
    PZImage::registerDrawing(QStringLiteral("RevealActive14"), [] { return revealButton(true); });
    PZImage::registerDrawing(QStringLiteral("Download16"), [] { return downloadIcon(false); });
    PZImage::registerDrawing(QStringLiteral("Download16Alternate"), [] { return downloadIcon(true); });
    PZImage::registerDrawing(QStringLiteral("Selection44"), [] { return selection(false); });
    PZImage::registerDrawing(QStringLiteral("SelectionAlternate44"), [] { return selection(true); });
}

}  // namespace ombrelay
