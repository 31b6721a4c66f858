#include "uikit/PZNode.h"

#include "uikit/PZAttributedString.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZText.h"

#include <QFontMetrics>

namespace ombrelay {

const PZTextAttributes* PZNode::primaryAttributes() const
{
    return &PZText::textAttributes11();
}

bool PZNode::computeIsAlternate() const
{
    return state().highlighted && (drawsWithGradientBackground() || state().hostIsFirstResponder);
}

void PZNode::drawInterior(QPainter& painter, const QRect& frame)
{
    m_leftMargin = 0;
    m_rightMargin = 3;
    m_isAlternate = computeIsAlternate();
    m_rightMargin += drawRightDecoration(painter, frame);
    m_leftMargin += drawLeftDecoration(painter, frame);
    drawPrimary(painter, frame);
    drawSecondary(painter, frame);
    drawTertiary(painter, frame);
}

const QPixmap& PZNode::chosenImage() const
{
    return m_isAlternate && !m_alternateImage.isNull() ? m_alternateImage : m_image;
}

qreal PZNode::drawLeftDecoration(QPainter& painter, const QRect& frame)
{
    const QPixmap& image = chosenImage();
    if (image.isNull())
        return 0;
    const QPoint offset = imageOffset();
    PZImageDrawing::drawAtPoint(painter, image, frame.topLeft() + offset, imageOpacity());
    return image.width() / image.devicePixelRatio() + offset.x();
}

QPoint PZNode::shiftedOffset(QPoint offset) const
{
    if (m_leftMargin > 0)
        offset.rx() += int(m_leftMargin - 2);
    return offset;
}

const PZTextAttributes& PZNode::lineAttributes(const PZTextAttributes* plain, const PZTextAttributes* alternate) const
{
    if (m_isAlternate && alternate)
        return *alternate;
    return plain ? *plain : PZText::textAttributes12();
}

void PZNode::drawLine(QPainter& painter, const QRect& frame, const QString& text, const QPoint& offset,
                      const PZTextAttributes* plain, const PZTextAttributes* alternate)
{
    if (text.isNull())
        return;
    drawString(painter, text, frame, shiftedOffset(offset), lineAttributes(plain, alternate));
}

void PZNode::drawPrimary(QPainter& painter, const QRect& frame)
{
    drawLine(painter, frame, m_primary, primaryOffset(), primaryAttributes(), primaryAttributesAlternate());
}

void PZNode::drawSecondary(QPainter& painter, const QRect& frame)
{
    drawLine(painter, frame, m_secondary, secondaryOffset(), secondaryAttributes(), secondaryAttributesAlternate());
}

void PZNode::drawTertiary(QPainter& painter, const QRect& frame)
{
    drawLine(painter, frame, m_tertiary, tertiaryOffset(), tertiaryAttributes(), tertiaryAttributesAlternate());
}

QRect PZNode::lineRect(const QRect& frame, const QPoint& offset, const QFont& font) const
{
    const int height = QFontMetrics(font).height();
    const int width = frame.width() - int(m_rightMargin + offset.x());
    int top = frame.y() + offset.y();
    if (top + height > frame.y() + frame.height())
        top = std::max(frame.y(), frame.y() + frame.height() - height);
    return QRect(frame.x() + offset.x(), top, std::max(0, width), height);
}

void PZNode::drawString(QPainter& painter, const QString& text, const QRect& frame, const QPoint& offset,
                        const PZTextAttributes& attributes) const
{
    if (text.isNull())
        return;
    const QRect rect = lineRect(frame, offset, attributes.font);
    if (rect.width() <= 0)
        return;
    painter.save();
    painter.setFont(attributes.font);
    painter.setPen(attributes.color);
    const QString shown = QFontMetrics(attributes.font).elidedText(text, attributes.paragraph.elide, rect.width());
    const int flags = int(attributes.paragraph.alignment | Qt::AlignTop) | Qt::TextSingleLine;
    if (attributes.shadow.color.isValid() && attributes.shadow.color.alpha() > 0) {
        painter.setPen(attributes.shadow.color);
        painter.drawText(QRectF(rect).translated(attributes.shadow.offset), flags, shown);
        painter.setPen(attributes.color);
    }
    painter.drawText(rect, flags, shown);
    painter.restore();
}

void PZNode::drawAttributedString(QPainter& painter, const PZAttributedString& text, const QRect& frame,
                                  const QPoint& offset, const PZTextAttributes& attributes) const
{
    const QRect rect = lineRect(frame, offset, attributes.font);
    if (rect.width() > 0)
        text.draw(painter, rect, attributes);
}

}  // namespace ombrelay
