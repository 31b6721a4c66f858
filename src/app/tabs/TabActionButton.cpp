#include "app/tabs/TabActionButton.h"

#include "app/tabs/PZSquareTabButton.h"
#include "app/tabs/PZSquareTabView.h"

#include <QPainter>

namespace ombrelay {

TabActionButton::TabActionButton(QWidget* parent) : HighlightingButton(parent)
{
    setGeometry(4, 4, 14, 14);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::clicked, this, &TabActionButton::action);
}

void TabActionButton::setStyle(int style)
{
    m_style = style;
    if (style == kHidden)
        hide();
}

void TabActionButton::action()
{
    auto* tab = qobject_cast<PZSquareTabButton*>(parentWidget());
    auto* strip = tab ? qobject_cast<PZSquareTabView*>(tab->parentWidget()) : nullptr;
    if (m_style == kClose && strip)
        strip->closeTab(tab);
}

void TabActionButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool active = window()->isActiveWindow();
    painter.setOpacity(active ? 1.0 : 0.5);
    const QRectF circle = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (isDown() || isMouseOver()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(isDown() ? QColor(60, 60, 60) : QColor(120, 120, 120));
        painter.drawEllipse(circle);
    }
    painter.setPen(QPen(isDown() || isMouseOver() ? Qt::white : QColor(80, 80, 80), 1.5));
    const QRectF cross = circle.adjusted(3.5, 3.5, -3.5, -3.5);
    painter.drawLine(cross.topLeft(), cross.bottomRight());
    painter.drawLine(cross.topRight(), cross.bottomLeft());
}

}  // namespace ombrelay
