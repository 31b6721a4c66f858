#include "app/desktop/DockTileView.h"

#include "kit/Settings.h"
#include "uikit/PZImage.h"
#include "uikit/PZRoundRect.h"

#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainterPath>
#include <cmath>

namespace ombrelay {
namespace {

// Points of the tile measured from its bottom, as the layout gives them, turned into rows from the top.
qreal fromBottom(qreal y, qreal height)
{
    return DockTileView::kSize - y - height;
}

QImage badgeImage(int width)
{
    QImage image(width, 54, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outer(1, 1, width - 2, 52);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 90));
    painter.drawPath(PZRoundRect::roundRectangleInRect(outer.translated(0, 1)));
    painter.setBrush(Qt::white);
    painter.drawPath(PZRoundRect::roundRectangleInRect(outer.adjusted(0, 0, 0, -1)));
    QLinearGradient red(0, 4, 0, 50);
    red.setColorAt(0, QColor(0xf2, 0x5b, 0x4f));
    red.setColorAt(1, QColor(0xc4, 0x14, 0x0e));
    painter.setBrush(red);
    painter.drawPath(PZRoundRect::roundRectangleInRect(outer.adjusted(4, 4, -4, -5)));
    return image;
}

QImage applicationIcon()
{
    // The shipped ombrelay.svg drawn in code (no SVG reader is required at run time).
    QImage image(DockTileView::kSize, DockTileView::kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient blue(0, 8, 0, 120);
    blue.setColorAt(0, QColor(0x3d, 0x8e, 0xd8));
    blue.setColorAt(1, QColor(0x1b, 0x4f, 0x8f));
    painter.setPen(QPen(QColor(0x12, 0x3a, 0x6b), 2));
    painter.setBrush(blue);
    painter.drawRoundedRect(QRectF(10, 10, 108, 108), 24, 24);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const QPolygonF arrow({{52, 28}, {76, 28}, {76, 62}, {94, 62}, {64, 96}, {34, 62}, {52, 62}});
    painter.drawPolygon(arrow);
    painter.drawRoundedRect(QRectF(34, 100, 60, 8), 4, 4);
    return image;
}

}  // namespace

DockTileView::DockTileView()
{
    registerImages();
    m_formatter.setPostfix(QString());
    m_bandwidthFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    m_bandwidthFont.setBold(true);
    m_bandwidthFont.setPixelSize(27);
    m_badgeFont = m_bandwidthFont;
    m_badgeFont.setPixelSize(31);
}

void DockTileView::registerImages()
{
    static const bool once = [] {
        PZImage::registerDrawing(QStringLiteral("OmbrelayTile"), applicationIcon);
        for (int size = 1; size <= 4; ++size)
            PZImage::registerDrawing(QStringLiteral("Badge%1").arg(size), [size] { return badgeImage(34 + 20 * size); });
        PZImage::registerDrawing(QStringLiteral("WhiteGradient38"), [] {
            QImage image(8, 38, QImage::Format_ARGB32_Premultiplied);
            QPainter painter(&image);
            QLinearGradient white(0, 0, 0, 38);
            white.setColorAt(0, Qt::white);
            white.setColorAt(1, QColor(255, 255, 255, 0));
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(image.rect(), white);
            return image;
        });
        return true;
    }();
    Q_UNUSED(once);
}

QString DockTileView::completeBadgeImage(int n)
{
    if (n < 1)
        return {};
    if (n < 10 || n >= 10000)
        return QStringLiteral("Badge1");
    if (n < 100)
        return QStringLiteral("Badge2");
    return n < 1000 ? QStringLiteral("Badge3") : QStringLiteral("Badge4");
}

QString DockTileView::completeBadgeText(int n)
{
    if (n < 1)
        return {};
    return n <= 9998 ? QString::number(n) : QStringLiteral("!!");
}

QString DockTileView::bandwidthText(double rate) const
{
    if (!Settings::instance().boolean(QStringLiteral("kKoNetBandwidthDock")) || rate <= 100)
        return {};
    PZByteSize formatter = m_formatter;
    formatter.setValue(quint64(rate));
    return formatter.description();
}

QImage DockTileView::render(int numberOfComplete, double downstreamRate) const
{
    QImage tile(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    tile.fill(Qt::transparent);
    QPainter painter(&tile);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    painter.drawPixmap(0, 0, PZImage::imageNamed(QStringLiteral("OmbrelayTile")));
    drawCompleteBadge(painter, numberOfComplete);
    const QString rate = bandwidthText(downstreamRate);
    if (!rate.isEmpty())
        drawBandwidthBadge(painter, rate);
    return tile;
}

void DockTileView::drawCompleteBadge(QPainter& painter, int n) const
{
    const QString name = completeBadgeImage(n);
    if (name.isEmpty())
        return;
    const QPixmap badge = PZImage::imageNamed(name);
    if (badge.isNull())
        return;
    const qreal x = name == QLatin1String("Badge1") ? 74 : name == QLatin1String("Badge2") ? 54
                  : name == QLatin1String("Badge3") ? 34 : 14;
    const QRectF frame(x, fromBottom(74, badge.height()), badge.width(), badge.height());
    painter.drawPixmap(frame.topLeft(), badge);
    painter.setFont(m_badgeFont);
    const QRectF textFrame = frame.adjusted(0, 0, 0, -2);
    painter.setPen(QColor(0, 0, 0, 128));  // the shadow, 2.1 down
    painter.drawText(textFrame.translated(0, 2.1), Qt::AlignCenter, completeBadgeText(n));
    painter.setPen(Qt::white);
    painter.drawText(textFrame, Qt::AlignCenter, completeBadgeText(n));
}

void DockTileView::drawBandwidthBadge(QPainter& painter, const QString& text) const
{
    painter.setFont(m_bandwidthFont);
    const qreal width = std::min<qreal>(painter.fontMetrics().horizontalAdvance(text) + 30, 126);
    const QRectF badge(std::floor((kSize - width) / 2), fromBottom(1, 40), width, 40);
    const QPainterPath shape = PZRoundRect::roundRectangleInRect(badge);
    painter.save();
    painter.setClipPath(shape);
    painter.fillPath(shape, Qt::black);
    painter.setOpacity(0.15);
    painter.drawPixmap(badge.toRect(), PZImage::imageNamed(QStringLiteral("WhiteGradient38")));
    painter.restore();
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    const QRectF textFrame(1, fromBottom(-2, 40), 126, 40);
    painter.setPen(QColor(0, 0, 0, 178));  // the shadow, 2.1 up
    painter.drawText(textFrame.translated(0, -2.1), Qt::AlignCenter, text);
    painter.setPen(Qt::white);
    painter.drawText(textFrame, Qt::AlignCenter, text);
}

}  // namespace ombrelay
