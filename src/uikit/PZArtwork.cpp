#include "uikit/PZArtwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>

namespace ombrelay {

namespace {

// name = "Checkbox" (On|Off|Mixed) ["Active"] ["G"|"X"]
QImage checkbox(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^Checkbox(On|Off|Mixed)(Active)?(G|X)?$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return {};
    const QString state = match.captured(1);
    const bool pressed = !match.captured(2).isEmpty();
    const QString look = match.captured(3);
    const bool marked = state != QLatin1String("Off");

    QColor top(255, 255, 255), bottom(222, 222, 222), border(120, 120, 120), mark(40, 40, 40);
    if (marked && look.isEmpty()) {
        top = QColor(110, 170, 245), bottom = QColor(40, 110, 220), border = QColor(30, 80, 170), mark = Qt::white;
    } else if (marked && look == QLatin1String("G")) {
        top = QColor(170, 180, 195), bottom = QColor(110, 122, 140), border = QColor(80, 90, 105), mark = Qt::white;
    } else if (marked) {
        top = QColor(250, 250, 250), bottom = QColor(215, 215, 215), border = QColor(140, 140, 140);
    }
    if (pressed) {
        top = top.darker(125), bottom = bottom.darker(125);
    }

    QImage image = PZArtwork::blank(12, 13);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, 13);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    painter.setPen(QPen(border, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 11, 12), 2.5, 2.5);
    painter.setPen(QPen(mark, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    if (state == QLatin1String("On")) {
        QPainterPath tick;
        tick.moveTo(3, 6.8);
        tick.lineTo(5.2, 9.2);
        tick.lineTo(9.2, 3.6);
        painter.drawPath(tick);
    } else if (state == QLatin1String("Mixed")) {
        painter.drawLine(QPointF(3.2, 6.5), QPointF(8.8, 6.5));
    }
    return image;
}

QImage gradient(const QColor& top, const QColor& bottom, const QColor& line)
{
    QImage image = PZArtwork::verticalGradient(24, top, bottom, 8);
    QPainter(&image).fillRect(QRect(0, 23, 8, 1), line);
    return image;
}

}  // namespace

QImage PZArtwork::verticalGradient(int height, const QColor& top, const QColor& bottom, int width)
{
    QImage image = blank(width, height);
    QPainter painter(&image);
    QLinearGradient fill(0, 0, 0, height);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    painter.fillRect(image.rect(), fill);
    return image;
}

QImage PZArtwork::draw(const QString& name)
{
    if (name.startsWith(QLatin1String("Checkbox")))
        return checkbox(name);
    if (name == QLatin1String("BlueGradient24"))
        return gradient(QColor(232, 238, 247), QColor(204, 214, 230), QColor(160, 170, 188));
    if (name == QLatin1String("GrayGradient24"))
        return gradient(QColor(240, 240, 240), QColor(218, 218, 218), QColor(170, 170, 170));
    return {};
}

QImage PZArtwork::documentIcon(int edge)
{
    QImage image = PZArtwork::blank(edge, edge);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = edge / 16.0;
    QPainterPath page;
    page.moveTo(3 * unit, 1 * unit);
    page.lineTo(10 * unit, 1 * unit);
    page.lineTo(13 * unit, 4 * unit);
    page.lineTo(13 * unit, 15 * unit);
    page.lineTo(3 * unit, 15 * unit);
    page.closeSubpath();
    painter.setPen(QPen(QColor(130, 130, 130), std::max(1.0, unit)));
    painter.setBrush(QColor(250, 250, 250));
    painter.drawPath(page);
    painter.drawLine(QPointF(10 * unit, 1 * unit), QPointF(10 * unit, 4 * unit));
    painter.drawLine(QPointF(10 * unit, 4 * unit), QPointF(13 * unit, 4 * unit));
    return image;
}

QImage PZArtwork::folderIcon(int edge)
{
    QImage image = PZArtwork::blank(edge, edge);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = edge / 16.0;
    painter.setPen(QPen(QColor(60, 110, 170), std::max(1.0, unit * 0.8)));
    painter.setBrush(QColor(120, 170, 225));
    painter.drawRoundedRect(QRectF(1 * unit, 2.5 * unit, 6 * unit, 3 * unit), unit, unit);
    painter.setBrush(QColor(140, 190, 240));
    painter.drawRoundedRect(QRectF(1 * unit, 4 * unit, 14 * unit, 10 * unit), unit, unit);
    return image;
}

QImage PZArtwork::blank(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

}  // namespace ombrelay
