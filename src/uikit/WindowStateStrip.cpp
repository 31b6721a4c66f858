#include "uikit/WindowStateStrip.h"

#include "uikit/PZImage.h"
#include "uikit/PZViewExtensions.h"
#include "uikit/PaneBarArtwork.h"

#include <QEvent>
#include <QPainter>

namespace ombrelay {

WindowStateStrip::WindowStateStrip(QString activeImage, QString inactiveImage, QWidget* parent)
    : QWidget(parent), m_activeImage(std::move(activeImage)), m_inactiveImage(std::move(inactiveImage))
{
    PaneBarArtwork::registerImages();
}

void WindowStateStrip::paintEvent(QPaintEvent*)
{
    const QPixmap image =
        PZImage::imageNamed(PZViewExtensions::shouldDrawWithBlueTint(this) ? m_activeImage : m_inactiveImage);
    QPainter painter(this);
    painter.drawPixmap(QRect(0, 0, width(), image.height()), image);
}

void WindowStateStrip::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange)
        update();
    QWidget::changeEvent(event);
}

}  // namespace ombrelay
