#include "uikit/PaneBarArtwork.h"

#include "uikit/PZArtwork.h"
#include "uikit/PZImage.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace ombrelay {

namespace {

QImage gradient(int height, QColor top, QColor bottom, QColor topLine)
{
    QImage image = PZArtwork::verticalGradient(height, top, bottom);
    QPainter(&image).fillRect(QRect(0, 0, 1, 1), topLine);
    return image;
}

// 9 columns: rounded caps of 4 around a stretchable middle column.
QImage flatButton(QColor top, QColor bottom, QColor border)
{
    QImage image = PZArtwork::blank(9, 18);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, 18);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    painter.setBrush(fill);
    painter.setPen(border);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 8, 17), 4, 4);
    return image;
}

QImage flatCheckbox(bool checked, bool pressed)
{
    QImage image = PZArtwork::blank(14, 14);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(30, 30, 30));
    painter.setBrush(pressed ? QColor(150, 150, 150) : QColor(225, 225, 225));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 13, 13), 2.5, 2.5);
    if (checked) {
        QPainterPath tick;
        tick.moveTo(3.5, 7);
        tick.lineTo(6, 10);
        tick.lineTo(10.5, 3.5);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(20, 20, 20), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(tick);
    }
    return image;
}

}  // namespace

void PaneBarArtwork::registerImages()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    PZImage::registerDrawing(QStringLiteral("StatusBar16"),
                             [] { return gradient(16, QColor(216, 221, 229), QColor(188, 195, 207), QColor(140, 140, 142)); });
    PZImage::registerDrawing(QStringLiteral("StatusBar16Inactive"),
                             [] { return gradient(16, QColor(236, 236, 236), QColor(214, 214, 214), QColor(160, 160, 160)); });
    PZImage::registerDrawing(QStringLiteral("Gradient106"),
                             [] { return gradient(106, QColor(92, 100, 114), QColor(40, 44, 52), QColor(30, 32, 36)); });
    PZImage::registerDrawing(QStringLiteral("Gradient106Alternate"),
                             [] { return gradient(106, QColor(110, 110, 110), QColor(58, 58, 58), QColor(40, 40, 40)); });
    PZImage::registerDrawing(QStringLiteral("FlatButton"),
                             [] { return flatButton(QColor(118, 124, 136), QColor(78, 84, 96), QColor(30, 32, 38)); });
    PZImage::registerDrawing(QStringLiteral("FlatButtonActive"),
                             [] { return flatButton(QColor(58, 62, 70), QColor(84, 88, 98), QColor(20, 20, 24)); });
    PZImage::registerDrawing(QStringLiteral("FlatButtonInactive"),
                             [] { return flatButton(QColor(96, 100, 108), QColor(80, 84, 92), QColor(60, 62, 68)); });
    PZImage::registerDrawing(QStringLiteral("FlatCheckboxChecked"), [] { return flatCheckbox(true, false); });
    PZImage::registerDrawing(QStringLiteral("FlatCheckboxCheckedActive"), [] { return flatCheckbox(true, true); });
    PZImage::registerDrawing(QStringLiteral("FlatCheckboxUnchecked"), [] { return flatCheckbox(false, false); });
    PZImage::registerDrawing(QStringLiteral("FlatCheckboxUncheckedActive"), [] { return flatCheckbox(false, true); });
}

}  // namespace ombrelay
