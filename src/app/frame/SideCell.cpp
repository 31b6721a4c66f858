#include "app/frame/SideCell.h"

#include "app/frame/SelectionController.h"
#include "app/frame/SourceItem.h"
#include "app/frame/SourceView.h"
#include "uikit/PZColor.h"
#include "uikit/PZIconCache.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZRoundRect.h"
#include "uikit/PZText.h"

#include <QFontMetricsF>
#include <cmath>

namespace ombrelay {

namespace {

const PZTextAttributes& bubbleAttributes(const QColor& color)
{
    static PZTextAttributes attributes{PZText::systemFont(11, true), Qt::white, PZText::centerParagraphStyle()};
    attributes.color = color;
    return attributes;
}

const QColor& bubbleBlue()
{
    return PZColor::colorWithCalibratedRed(0.533333, 0.6, 0.737255, 1);
}

}  // namespace

SideCell::Icons SideCell::iconsForItem(const SourceItem& item, bool hovered)
{
    if (item.isQuery())
        return {hovered ? QStringLiteral("FindWhite16") : QStringLiteral("FindBlack16"), QStringLiteral("FindWhite16")};
    if (item.isRSS())
        return {QStringLiteral("RSSBlack16"), QStringLiteral("RSSWhite16")};
    const QString name = item.name().toLower();
    struct Rule
    {
        const char* word;
        const char* image;
        const char* alternate;
    };
    static const Rule rules[] = {
        {"music", "Music16", "Music16Alternate"}, {"game", "Games16", ""},
        {"software", "Software16", ""},          {"movie", "Movies16", "Movies16Alternate"},
        {"tv", "TV16", "TV16Alternate"},          {"torrentcast", "Torrentcast16", "Torrentcast16Alternate"},
        {"rss", "Torrentcast16", "Torrentcast16Alternate"},
    };
    for (const Rule& rule : rules) {
        if (name.contains(QLatin1String(rule.word)))
            return {QLatin1String(rule.image), QLatin1String(rule.alternate)};
    }
    return {};
}

QString SideCell::bubbleText(int newCount, int count)
{
    if (newCount >= 1)
        return QObject::tr("%1 new").arg(newCount);
    if (count >= 1)
        return QString::number(count);
    return {};
}

QRect SideCell::bubbleRect(const QRect& frame, qreal textWidth, bool hasImage)
{
    const int extra = hasImage ? 10 : 0;
    const int width = std::max(int(std::ceil(textWidth)) + 12 + extra, 20);
    return QRect(int(std::floor(frame.x() + frame.width() - width)), frame.y() + 2, width, 16);
}

bool SideCell::hasBubble(const SourceItem& item, const QRect& frame)
{
    return item.isQuery() || (item.isRSS() && frame.width() > 75);
}

SourceItem* SideCell::item() const
{
    return static_cast<SourceItem*>(cellObject());
}

const PZTextAttributes* SideCell::primaryAttributes() const
{
    return &PZText::textAttributes12();
}

const PZTextAttributes* SideCell::primaryAttributesAlternate() const
{
    static const PZTextAttributes attributes{PZText::systemFont(12, true), Qt::white,
                                             PZText::truncatingParagraphStyle(), PZText::alternateShadow()};
    return &attributes;
}

QList<QRect> SideCell::controlRects(const QRect& frame, PZOutlineObject* object) const
{
    const auto* source = static_cast<const SourceItem*>(object);
    if (!source || !source->isQuery())
        return {};
    return {QRect(frame.x() + 2, frame.y(), 20, 20)};
}

void SideCell::performAction(PZOutlineObject* object, QWidget*)
{
    if (SelectionController* selection = m_view.selectionController())
        selection->performSearchForItem(static_cast<SourceItem*>(object));
}

void SideCell::drawInterior(QPainter& painter, const QRect& frame)
{
    const SourceItem* source = item();
    if (!source)
        return;
    setImage({});
    setAlternateImage({});
    const QPixmap siteIcon = source->isRSS() ? m_view.siteIcon(source->url()) : QPixmap();
    if (!siteIcon.isNull()) {
        setImage(siteIcon);
        setAlternateImage(siteIcon);
    } else {
        const Icons icons = iconsForItem(*source, source == m_view.mouseOverItem());
        setImage(icons.image.isEmpty() ? PZIconCache::instance16().folderIcon() : PZImage::flippedImageNamed(icons.image));
        if (!icons.alternate.isEmpty())
            setAlternateImage(PZImage::flippedImageNamed(icons.alternate));
    }
    setPrimary(source->name());
    PZTextFieldNode::drawInterior(painter, frame);
}

qreal SideCell::drawLeftDecoration(QPainter& painter, const QRect& frame)
{
    if (item() && item() == m_view.mouseOverItem() && item()->isQuery()) {
        const qreal opacity = activeTrackingRect() >= 0 ? 0.4 : 0.25;
        // Source atop: the hover shows only over what the row drew already.
        PZImageDrawing::drawAtPoint(painter, PZImage::flippedImageNamed(QStringLiteral("FindHover")),
                                    QPointF(frame.x() + 2, frame.y()), opacity, QPainter::CompositionMode_SourceAtop);
    }
    return PZTextFieldNode::drawLeftDecoration(painter, frame);
}

qreal SideCell::drawRightDecoration(QPainter& painter, const QRect& frame)
{
    const SourceItem* source = item();
    SelectionController* selection = m_view.selectionController();
    if (!source || !selection || !hasBubble(*source, frame))
        return 0;
    const int newCount = selection->numberOfNewItemsForItem(source);
    const QString text = bubbleText(newCount, selection->numberOfItemsForItem(source));
    QPixmap image;
    if (newCount >= 1)
        image = PZImage::flippedImageNamed(state().highlighted ? QStringLiteral("IsNew") : QStringLiteral("IsNewAlternate"));
    return drawBubble(painter, frame, text, image);
}

qreal SideCell::drawBubble(QPainter& painter, const QRect& frame, const QString& text, const QPixmap& image)
{
    if (text.isEmpty())
        return 0;
    const bool highlighted = state().highlighted;
    const QColor& ink = !highlighted ? PZColor::whiteColor()
                        : m_view.isFirstResponder() ? PZColor::colorWithCalibratedRed(0.227451, 0.458824, 0.756863, 1)
                                                    : bubbleBlue();
    const PZTextAttributes& attributes = bubbleAttributes(ink);
    const qreal textWidth = QFontMetricsF(attributes.font).horizontalAdvance(text);
    const QRect bubble = bubbleRect(frame, textWidth, !image.isNull());
    const int extra = image.isNull() ? 0 : 10;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(PZRoundRect::roundRectangleInRect(bubble), highlighted ? PZColor::whiteColor() : bubbleBlue());
    painter.setFont(attributes.font);
    painter.setPen(attributes.color);
    const qreal x = bubble.x() + extra + (bubble.width() - textWidth - extra) / 2;
    painter.drawText(QRectF(x, bubble.y() + 1, textWidth + 1, bubble.height() - 1), Qt::AlignLeft | Qt::AlignVCenter, text);
    if (!image.isNull())
        PZImageDrawing::drawAtPoint(painter, image, QPointF(bubble.x() + 4, bubble.y() + 4));
    painter.restore();
    return bubble.width() + 4;
}

}  // namespace ombrelay
