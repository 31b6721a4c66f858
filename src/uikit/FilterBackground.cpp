#include "uikit/FilterBackground.h"

#include "uikit/PZImage.h"
#include "uikit/PZViewExtensions.h"

#include <QEvent>
#include <QPainter>

namespace ombrelay {

FilterBackground::FilterBackground(QWidget* parent) : QWidget(parent) {}

void FilterBackground::paintEvent(QPaintEvent*)
{
    const bool active = PZViewExtensions::shouldDrawWithBlueTint(this);
    const QPixmap image = PZImage::imageNamed(active ? QStringLiteral("BlueGradient24") : QStringLiteral("GrayGradient24"));
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(rect(), image);
}

void FilterBackground::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange)
        update();
    QWidget::changeEvent(event);
}

}  // namespace ombrelay
