#include "search/views/ResultArtwork.h"

#include "transfers/TransferArtwork.h"
#include "uikit/PZArtwork.h"
#include "uikit/PZImage.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace ombrelay {

namespace {

QPainterPath starPath(qreal x, qreal y, qreal edge)
{
    QPainterPath path;
    const QPointF centre(x + edge / 2, y + edge / 2);
    for (int i = 0; i < 10; ++i) {
        const qreal radius = (i % 2 ? 0.22 : 0.5) * edge;
        const qreal angle = -M_PI / 2 + i * M_PI / 5;
        const QPointF point = centre + QPointF(std::cos(angle) * radius, std::sin(angle) * radius);
        i == 0 ? path.moveTo(point) : path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

// Whole stars, then a half one cut at its middle; 12 px a star.
QImage stars(float count, QColor colour)
{
    const int starCount = int(std::ceil(count));
    QImage image = PZArtwork::blank(std::max(1, starCount * 12), 12);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    for (int i = 0; i < starCount; ++i) {
        const bool half = float(i) + 1.0f > count;
        painter.save();
        if (half)
            painter.setClipRect(QRectF(i * 12, 0, 6, 12));
        painter.drawPath(starPath(i * 12 + 0.5, 0.5, 11));
        painter.restore();
    }
    return image;
}

QImage arrow(QColor circle, QColor glyph)
{
    QImage image = PZArtwork::blank(16, 16);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(circle);
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    painter.setBrush(glyph);
    painter.drawPolygon(QPolygonF{QPointF(6.5, 4.5), QPointF(11.5, 8), QPointF(6.5, 11.5)});
    return image;
}

QImage dot(QColor colour)
{
    QImage image = PZArtwork::blank(10, 10);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(1, 1, 8, 8));
    return image;
}

QImage spinner()
{
    QImage image = PZArtwork::blank(14, 14);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 8; ++i) {
        painter.setPen(QPen(QColor(240, 130, 20, 60 + i * 24), 1.8, Qt::SolidLine, Qt::RoundCap));
        const qreal angle = i * M_PI / 4;
        painter.drawLine(QPointF(7 + std::cos(angle) * 3, 7 + std::sin(angle) * 3),
                         QPointF(7 + std::cos(angle) * 6, 7 + std::sin(angle) * 6));
    }
    return image;
}

QImage downloadButton(bool pressed)
{
    QImage image = PZArtwork::blank(66, 13);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(60, 110, 190));
    painter.setBrush(pressed ? QColor(50, 95, 170) : QColor(85, 140, 220));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 65, 12), 6, 6);
    QFont font = painter.font();
    font.setPixelSize(9);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 0, 66, 13), Qt::AlignCenter, QCoreApplication::translate("ResultArtwork", "Download"));
    return image;
}

QImage cross()
{
    QImage image = PZArtwork::blank(12, 12);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(2.5, 2.5), QPointF(9.5, 9.5));
    painter.drawLine(QPointF(9.5, 2.5), QPointF(2.5, 9.5));
    return image;
}

QImage faviconBackground()
{
    QImage image = PZArtwork::blank(18, 18);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0, 0, 0, 40));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 17, 17), 3, 3);
    return image;
}

QImage rightArrow()
{
    QImage image = PZArtwork::blank(12, 12);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRectF(0.5, 0.5, 11, 11));
    painter.setBrush(Qt::white);
    painter.drawPolygon(QPolygonF{QPointF(4.5, 3), QPointF(8.5, 6), QPointF(4.5, 9)});
    return image;
}

QImage completeActive()
{
    QImage image = PZImage::imageNamed(QStringLiteral("Complete12")).toImage();
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(image.rect(), QColor(0, 0, 0, 70));
    return image;
}

}  // namespace

QString ResultArtwork::starsImageName(float stars, bool white)
{
    const QString colour = white ? QStringLiteral("White") : QStringLiteral("Blue");
    if (stars == 1.0f)
        return QStringLiteral("1Star") + colour;
    return QString::number(double(stars)) + QStringLiteral("Stars") + colour;
}

void ResultArtwork::registerImages()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    TransferArtwork::registerImages();
    for (int halves = 1; halves <= 10; ++halves) {
        const float count = float(halves) / 2.0f;
        PZImage::registerDrawing(starsImageName(count, false), [count] { return stars(count, QColor(70, 124, 204)); });
        PZImage::registerDrawing(starsImageName(count, true), [count] { return stars(count, Qt::white); });
    }
    PZImage::registerDrawing(QStringLiteral("ArrowGray"), [] { return arrow(QColor(150, 150, 150), Qt::white); });
    PZImage::registerDrawing(QStringLiteral("ArrowGrayActive"), [] { return arrow(QColor(90, 90, 90), Qt::white); });
    PZImage::registerDrawing(QStringLiteral("ArrowWhite"), [] { return arrow(Qt::white, QColor(60, 110, 190)); });
    PZImage::registerDrawing(QStringLiteral("ArrowWhiteActive"), [] { return arrow(QColor(210, 210, 210), QColor(60, 110, 190)); });
    PZImage::registerDrawing(QStringLiteral("IsNew"), [] { return dot(QColor(70, 124, 204)); });
    PZImage::registerDrawing(QStringLiteral("IsNewAlternate"), [] { return dot(Qt::white); });
    PZImage::registerDrawing(QStringLiteral("SpinOrange"), spinner);
    PZImage::registerDrawing(QStringLiteral("DownloadCell"), [] { return downloadButton(false); });
    PZImage::registerDrawing(QStringLiteral("DownloadCellActive"), [] { return downloadButton(true); });
    PZImage::registerDrawing(QStringLiteral("Close8"), cross);
    PZImage::registerDrawing(QStringLiteral("CompleteActive12"), completeActive);
    PZImage::registerDrawing(QStringLiteral("FaviconBackground"), faviconBackground);
    PZImage::registerDrawing(QStringLiteral("RightArrowTemplate"), rightArrow);
}

}  // namespace ombrelay
