#include "app/frame/SourceListArtwork.h"

#include "uikit/PZArtwork.h"
#include "uikit/PZImage.h"

#include <QPainter>
#include <QPainterPath>

namespace ombrelay {

namespace {

const char* const kNames[] = {"Selection22", "SelectionAlternate22", "Search63", "FindHover", "FindWhite16",
                              "FindBlack16", "RSSBlack16", "RSSWhite16", "Music16", "Music16Alternate", "Games16",
                              "Software16", "Movies16", "Movies16Alternate", "TV16", "TV16Alternate",
                              "Torrentcast16", "Torrentcast16Alternate", "IsNew", "IsNewAlternate", "Close12",
                              "CloseActive12", "WhiteBG23", "SideResize"};

// A magnifying glass in a square of `edge` pixels.
QImage magnifier(int edge, const QColor& ink)
{
    QImage image = PZArtwork::blank(edge, edge);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = edge / 16.0;
    painter.setPen(QPen(ink, 2 * unit, Qt::SolidLine, Qt::RoundCap));
    painter.drawEllipse(QRectF(2 * unit, 2 * unit, 8 * unit, 8 * unit));
    painter.drawLine(QPointF(9.5 * unit, 9.5 * unit), QPointF(14 * unit, 14 * unit));
    return image;
}

QImage glyph(const QColor& ink, const std::function<void(QPainter&)>& draw)
{
    QImage image = PZArtwork::blank(16, 16);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ink, 1.5));
    painter.setBrush(Qt::NoBrush);
    draw(painter);
    return image;
}

QImage feed(const QColor& ink)
{
    return glyph(ink, [&](QPainter& p) {
        p.setBrush(ink);
        p.drawEllipse(QRectF(2, 11, 3, 3));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(ink, 2));
        p.drawArc(QRectF(-5, 5, 14, 14), 0, 90 * 16);
        p.drawArc(QRectF(-10, 0, 24, 24), 0, 90 * 16);
    });
}

QImage music(const QColor& ink)
{
    return glyph(ink, [&](QPainter& p) {
        p.setBrush(ink);
        p.drawEllipse(QRectF(2, 10, 5, 4));
        p.drawEllipse(QRectF(9, 8, 5, 4));
        p.drawPolygon(QPolygonF({QPointF(6, 12), QPointF(6, 3), QPointF(14, 1), QPointF(14, 10), QPointF(13, 10),
                                 QPointF(13, 4), QPointF(7, 5.5), QPointF(7, 12)}));
    });
}

QImage games(const QColor& ink)
{
    return glyph(ink, [&](QPainter& p) {
        p.drawRoundedRect(QRectF(1.5, 4.5, 13, 8), 3, 3);
        p.drawLine(QPointF(4, 8.5), QPointF(7, 8.5));
        p.drawLine(QPointF(5.5, 7), QPointF(5.5, 10));
        p.setBrush(ink);
        p.drawEllipse(QRectF(10, 7, 2, 2));
    });
}

QImage software(const QColor& ink)
{
    return glyph(ink, [&](QPainter& p) {
        p.drawRect(QRectF(2.5, 5.5, 11, 8));
        p.drawLine(QPointF(2.5, 5.5), QPointF(5, 2.5));
        p.drawLine(QPointF(13.5, 5.5), QPointF(11, 2.5));
        p.drawLine(QPointF(5, 2.5), QPointF(11, 2.5));
    });
}

QImage movies(const QColor& ink)
{
    return glyph(ink, [&](QPainter& p) {
        p.drawRect(QRectF(2.5, 2.5, 11, 11));
        for (int y : {4, 7, 10, 13})
            p.drawPoint(QPointF(4, y - 0.5)), p.drawPoint(QPointF(12, y - 0.5));
        p.drawLine(QPointF(5.5, 8), QPointF(10.5, 8));
    });
}

QImage television(const QColor& ink)
{
    return glyph(ink, [&](QPainter& p) {
        p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 2, 2);
        p.drawLine(QPointF(5, 1), QPointF(8, 4.5));
        p.drawLine(QPointF(11, 1), QPointF(8, 4.5));
    });
}

QImage torrentcast(const QColor& ink)
{
    return glyph(ink, [&](QPainter& p) {
        p.setBrush(ink);
        p.drawEllipse(QRectF(6.5, 6.5, 3, 3));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3.5, 3.5, 9, 9), -45 * 16, 90 * 16);
        p.drawArc(QRectF(3.5, 3.5, 9, 9), 135 * 16, 90 * 16);
        p.drawArc(QRectF(0.5, 0.5, 15, 15), -45 * 16, 90 * 16);
        p.drawArc(QRectF(0.5, 0.5, 15, 15), 135 * 16, 90 * 16);
    });
}

QImage star(const QColor& ink)
{
    QImage image = PZArtwork::blank(8, 8);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QRectF(1, 1, 6, 6));
    return image;
}

QImage closeButton(bool active)
{
    QImage image = PZArtwork::blank(12, 12);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(active ? QColor(90, 90, 90) : QColor(150, 150, 150));
    p.drawEllipse(QRectF(0, 0, 12, 12));
    p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(8.5, 8.5));
    p.drawLine(QPointF(8.5, 3.5), QPointF(3.5, 8.5));
    return image;
}

QImage resizeHandle()
{
    QImage image = PZArtwork::blank(15, 23);
    QPainter p(&image);
    p.setPen(QColor(128, 128, 128));
    for (int x : {5, 8, 11})
        p.drawLine(x, 7, x, 15);
    return image;
}

}  // namespace

void SourceListArtwork::registerImages()
{
    for (const char* name : kNames) {
        const QString key = QLatin1String(name);
        PZImage::registerDrawing(key, [key] { return draw(key); });
    }
}

QImage SourceListArtwork::draw(const QString& name)
{
    const QColor black(60, 60, 60);
    const QColor white(Qt::white);
    if (name == QLatin1String("Selection22"))
        return PZArtwork::verticalGradient(22, QColor(92, 147, 213), QColor(22, 91, 188));
    if (name == QLatin1String("SelectionAlternate22"))
        return PZArtwork::verticalGradient(22, QColor(162, 177, 207), QColor(115, 132, 170));
    if (name == QLatin1String("WhiteBG23"))
        return PZArtwork::verticalGradient(23, QColor(252, 252, 252), QColor(222, 222, 222));
    if (name == QLatin1String("Search63"))
        return magnifier(63, QColor(145, 150, 158));
    if (name == QLatin1String("FindHover")) {
        QImage image = PZArtwork::blank(20, 20);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawEllipse(QRectF(0, 1, 20, 20));
        return image;
    }
    if (name == QLatin1String("FindWhite16"))
        return magnifier(16, white);
    if (name == QLatin1String("FindBlack16"))
        return magnifier(16, black);
    if (name == QLatin1String("RSSBlack16"))
        return feed(QColor(230, 120, 20));
    if (name == QLatin1String("RSSWhite16"))
        return feed(white);
    const bool alternate = name.endsWith(QLatin1String("Alternate"));
    const QColor ink = alternate ? white : QColor(70, 90, 130);
    if (name.startsWith(QLatin1String("Music16")))
        return music(ink);
    if (name == QLatin1String("Games16"))
        return games(ink);
    if (name == QLatin1String("Software16"))
        return software(ink);
    if (name.startsWith(QLatin1String("Movies16")))
        return movies(ink);
    if (name.startsWith(QLatin1String("TV16")))
        return television(ink);
    if (name.startsWith(QLatin1String("Torrentcast16")))
        return torrentcast(ink);
    if (name == QLatin1String("IsNew"))
        return star(QColor(58, 117, 193));
    if (name == QLatin1String("IsNewAlternate"))
        return star(white);
    if (name == QLatin1String("Close12"))
        return closeButton(false);
    if (name == QLatin1String("CloseActive12"))
        return closeButton(true);
    if (name == QLatin1String("SideResize"))
        return resizeHandle();
    return {};
}

}  // namespace ombrelay
