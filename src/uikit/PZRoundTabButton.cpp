#include "uikit/PZRoundTabButton.h"

#include "uikit/PZColor.h"
#include "uikit/PZRoundRect.h"
#include "uikit/PZText.h"

#include <QFontMetrics>
#include <QPainter>

namespace ombrelay {

namespace {
constexpr int kHeight = 16;
constexpr int kPadding = 8;
}  // namespace

PZRoundTabButton::PZRoundTabButton(QWidget* parent) : QAbstractButton(parent)
{
    setFont(PZText::systemFont(11, true));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void PZRoundTabButton::setIsSelected(bool selected)
{
    m_isSelected = selected;
    setDown(false);
    update();
}

QString PZRoundTabButton::stringValue() const
{
    if (!m_hideCount && m_count > 0)
        return QStringLiteral("%1 (%2)").arg(m_name).arg(m_count);
    return m_name;
}

QSize PZRoundTabButton::sizeHint() const
{
    return {QFontMetrics(font()).horizontalAdvance(text()) + 2 * kPadding, kHeight};
}

void PZRoundTabButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF pill = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath path = PZRoundRect::roundRectangleInRect(pill);
    if (m_isSelected || isDown()) {
        painter.fillPath(path, PZColor::grayColor(0.55f));
        painter.setPen(PZColor::whiteColor());
    } else {
        if (m_hovered)
            painter.strokePath(path, QPen(PZColor::grayColor(0.6f), 1));
        painter.setPen(PZColor::grayColor(0.3f));
    }
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

void PZRoundTabButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void PZRoundTabButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

}  // namespace ombrelay
