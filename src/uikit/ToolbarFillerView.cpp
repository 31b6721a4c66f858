#include "uikit/ToolbarFillerView.h"

#include "uikit/PZViewExtensions.h"

#include <QEvent>
#include <QPainter>

namespace ombrelay {

ToolbarFillerView::ToolbarFillerView(QWidget* parent) : QWidget(parent) {}

QColor ToolbarFillerView::fillColor(bool active)
{
    return active ? QColor::fromRgbF(0.796078f, 0.823529f, 0.866667f) : QColor::fromRgbF(0.831373f, 0.831373f, 0.831373f);
}

QColor ToolbarFillerView::lineColor()
{
    return QColor::fromRgbF(0.6f, 0.603922f, 0.619608f);
}

void ToolbarFillerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), fillColor(PZViewExtensions::shouldDrawWithBlueTint(this)));
    painter.fillRect(QRect(0, height() - 1, width(), 1), lineColor());
}

void ToolbarFillerView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange)
        update();
    QWidget::changeEvent(event);
}

}  // namespace ombrelay
