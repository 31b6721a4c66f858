#include "transfers/TransferArtwork.h"

#include "uikit/PZImage.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>

#include <algorithm>
#include <cmath>
#include <functional>

namespace ombrelay {

namespace {

using Glyph = void (*)(QPainter&, const QRectF&);

QImage roundButton(int edge, bool pressed, Glyph glyph, QColor tint = QColor(110, 110, 110))
{
    QImage image(edge, edge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(pressed ? tint.darker(160) : tint);
    const QRectF box(0.5, 0.5, edge - 1, edge - 1);
    painter.drawEllipse(box);
    painter.setBrush(Qt::white);
    glyph(painter, box);
    return image;
}

void pauseGlyph(QPainter& p, const QRectF& r)
{
    const qreal w = r.width();
    p.drawRect(QRectF(r.x() + w * 0.30, r.y() + w * 0.27, w * 0.14, w * 0.46));
    p.drawRect(QRectF(r.x() + w * 0.56, r.y() + w * 0.27, w * 0.14, w * 0.46));
}

void resumeGlyph(QPainter& p, const QRectF& r)
{
    const qreal w = r.width();
    p.drawPolygon(QPolygonF{QPointF(r.x() + w * 0.36, r.y() + w * 0.25), QPointF(r.x() + w * 0.76, r.y() + w * 0.5),
                            QPointF(r.x() + w * 0.36, r.y() + w * 0.75)});
}

void downloadGlyph(QPainter& p, const QRectF& r)
{
    const qreal w = r.width();
    p.drawRect(QRectF(r.x() + w * 0.42, r.y() + w * 0.2, w * 0.16, w * 0.35));
    p.drawPolygon(QPolygonF{QPointF(r.x() + w * 0.25, r.y() + w * 0.5), QPointF(r.x() + w * 0.75, r.y() + w * 0.5),
                            QPointF(r.x() + w * 0.5, r.y() + w * 0.8)});
}

void removeGlyph(QPainter& p, const QRectF& r)
{
    const qreal w = r.width();
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(r.x() + w * 0.32, r.y() + w * 0.32), QPointF(r.x() + w * 0.68, r.y() + w * 0.68));
    p.drawLine(QPointF(r.x() + w * 0.68, r.y() + w * 0.32), QPointF(r.x() + w * 0.32, r.y() + w * 0.68));
}

void revealGlyph(QPainter& p, const QRectF& r)
{
    const qreal w = r.width();
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(r.x() + w * 0.25, r.y() + w * 0.25, w * 0.36, w * 0.36));
    p.drawLine(QPointF(r.x() + w * 0.56, r.y() + w * 0.56), QPointF(r.x() + w * 0.76, r.y() + w * 0.76));
}

void alertGlyph(QPainter& p, const QRectF& r)
{
    const qreal w = r.width();
    p.drawRect(QRectF(r.x() + w * 0.44, r.y() + w * 0.2, w * 0.12, w * 0.4));
    p.drawRect(QRectF(r.x() + w * 0.44, r.y() + w * 0.68, w * 0.12, w * 0.12));
}

void checkGlyph(QPainter& p, const QRectF& r)
{
    const qreal w = r.width();
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF{QPointF(r.x() + w * 0.26, r.y() + w * 0.52), QPointF(r.x() + w * 0.44, r.y() + w * 0.7),
                             QPointF(r.x() + w * 0.74, r.y() + w * 0.3)});
}

QImage getFileButton(bool pressed)
{
    QImage image(52, 13, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(120, 120, 120));
    painter.setBrush(pressed ? QColor(200, 200, 200) : QColor(245, 245, 245));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 51, 12), 6, 6);
    QFont font = painter.font();
    font.setPixelSize(9);
    painter.setFont(font);
    painter.setPen(QColor(60, 60, 60));
    painter.drawText(QRectF(0, 0, 52, 13), Qt::AlignCenter, QCoreApplication::translate("TransferArtwork", "Get File"));
    return image;
}

void registerButton(const QString& name, const QString& pressedName, int edge, Glyph glyph, QColor tint)
{
    PZImage::registerDrawing(name, [=] { return roundButton(edge, false, glyph, tint); });
    PZImage::registerDrawing(pressedName, [=] { return roundButton(edge, true, glyph, tint); });
}

void paintProgressBar(QPainter& painter, const QRectF& rect, double fraction, TransferArtwork::BarColor color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(rect, 3, 3);
    painter.setClipPath(outline);
    QLinearGradient empty(rect.topLeft(), rect.bottomLeft());
    empty.setColorAt(0, QColor(218, 218, 218));
    empty.setColorAt(1, QColor(244, 244, 244));
    painter.fillRect(rect, empty);
    const qreal filled = rect.width() * std::clamp(fraction, 0.0, 1.0);
    const qreal whole = std::floor(filled);
    const QColor base = TransferArtwork::fillColor(color);
    QLinearGradient fill(rect.topLeft(), rect.bottomLeft());
    fill.setColorAt(0, base.lighter(125));
    fill.setColorAt(1, base.darker(110));
    painter.fillRect(QRectF(rect.x(), rect.y(), whole, rect.height()), fill);
    if (filled > whole) {
        // The partly covered column fades in.
        painter.setOpacity(filled - whole);
        painter.fillRect(QRectF(rect.x() + whole, rect.y(), 1, rect.height()), fill);
        painter.setOpacity(1);
    }
    painter.setClipping(false);
    painter.setPen(QColor(0, 0, 0, 70));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    painter.restore();
}

void paintIndeterminate(QPainter& painter, const QRectF& rect, int animationOffset)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(rect, 3, 3);
    painter.setClipPath(outline);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(58, 124, 222, 90));
    const qreal h = rect.height();
    for (qreal x = rect.x() - h - 8 + animationOffset; x < rect.right(); x += 8) {
        painter.drawPolygon(QPolygonF{QPointF(x, rect.bottom()), QPointF(x + 4, rect.bottom()),
                                      QPointF(x + 4 + h, rect.top()), QPointF(x + h, rect.top())});
    }
    painter.restore();
}

// Bars are painted once for each look and size, then copied: an animated bar is drawn many times a second.
void drawCached(QPainter& painter, const QRectF& rect, const QString& look,
                const std::function<void(QPainter&, const QRectF&)>& paint)
{
    const QSize size = rect.size().toSize();
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    if (size.isEmpty() || rect.topLeft() != rect.topLeft().toPoint()) {
        paint(painter, rect);  // off the pixel grid: a copy would not match
        return;
    }
    const QString key = QStringLiteral("ombrelay-bar-%1-%2x%3@%4").arg(look).arg(size.width()).arg(size.height()).arg(ratio);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap(size * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter offscreen(&pixmap);
        paint(offscreen, QRectF(QPointF(0, 0), rect.size()));
        offscreen.end();
        QPixmapCache::insert(key, pixmap);
    }
    painter.drawPixmap(rect.topLeft(), pixmap);
}

}  // namespace

void TransferArtwork::registerImages()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    const QColor grey(120, 120, 120);
    registerButton(QStringLiteral("Pause13"), QStringLiteral("PauseActive13"), 13, pauseGlyph, grey);
    registerButton(QStringLiteral("Resume13"), QStringLiteral("ResumeActive13"), 13, resumeGlyph, grey);
    registerButton(QStringLiteral("Download13"), QStringLiteral("DownloadActive13"), 13, downloadGlyph, grey);
    registerButton(QStringLiteral("Remove13"), QStringLiteral("RemoveActive13"), 13, removeGlyph, QColor(150, 150, 150));
    registerButton(QStringLiteral("Reveal13"), QStringLiteral("RevealActive13"), 13, revealGlyph, QColor(150, 150, 150));
    registerButton(QStringLiteral("Alert16"), QStringLiteral("Alert16Highlighted"), 16, alertGlyph, QColor(215, 140, 20));
    PZImage::registerDrawing(QStringLiteral("Complete12"), [] { return roundButton(12, false, checkGlyph, QColor(70, 160, 60)); });
    PZImage::registerDrawing(QStringLiteral("GetFile"), [] { return getFileButton(false); });
    PZImage::registerDrawing(QStringLiteral("GetFileActive"), [] { return getFileButton(true); });
}

QColor TransferArtwork::fillColor(BarColor color)
{
    switch (color) {
    case BarColor::Complete:
        return QColor(88, 178, 64);
    case BarColor::Active:
        return QColor(58, 124, 222);
    case BarColor::Inactive:
        return QColor(150, 150, 150);
    }
    return {};
}


void TransferArtwork::drawProgressBar(QPainter& painter, const QRectF& rect, double fraction, BarColor color)
{
    // The fraction to a 256th of a pixel, finer than the fading column shows.
    const qint64 filled = std::llround(rect.width() * std::clamp(fraction, 0.0, 1.0) * 256);
    drawCached(painter, rect, QStringLiteral("progress-%1-%2").arg(filled).arg(int(color)),
               [&](QPainter& p, const QRectF& r) { paintProgressBar(p, r, rect.width() > 0 ? filled / 256.0 / rect.width() : 0, color); });
}

void TransferArtwork::drawIndeterminate(QPainter& painter, const QRectF& rect, int animationOffset)
{
    drawCached(painter, rect, QStringLiteral("indeterminate-%1").arg(animationOffset),
               [&](QPainter& p, const QRectF& r) { paintIndeterminate(p, r, animationOffset); });
}

}  // namespace ombrelay
