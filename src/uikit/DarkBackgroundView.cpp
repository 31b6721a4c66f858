#include "uikit/DarkBackgroundView.h"

#include "uikit/PZImage.h"
#include "uikit/PZViewExtensions.h"
#include "uikit/PaneBarArtwork.h"

#include <QEvent>
#include <QPainter>

namespace ombrelay {

DarkBackgroundView::DarkBackgroundView(QWidget* parent) : QWidget(parent)
{
    PaneBarArtwork::registerImages();
}

void DarkBackgroundView::paintEvent(QPaintEvent*)
{
    const bool active = PZViewExtensions::shouldDrawWithBlueTint(this);
    const QPixmap image = PZImage::imageNamed(active ? QStringLiteral("Gradient106") : QStringLiteral("Gradient106Alternate"));
    QPainter painter(this);
    painter.drawPixmap(QRect(0, 0, width(), image.height()), image);
}

void DarkBackgroundView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange)
        update();
    QWidget::changeEvent(event);
}

}  // namespace ombrelay
