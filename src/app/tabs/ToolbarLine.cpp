#include "app/tabs/ToolbarLine.h"

#include "uikit/PZColor.h"

#include <QPaintEvent>
#include <QPainter>

namespace ombrelay {

const QColor& ToolbarLine::lineColor()
{
    return PZColor::colorWithCalibratedRed(0.54902, 0.54902, 0.556863, 1.0);
}

ToolbarLine::ToolbarLine(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(1);
}

void ToolbarLine::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(QRect(area.x(), height() - 1, area.width(), 1), lineColor());
}

}  // namespace ombrelay
