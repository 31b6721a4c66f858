#include "app/desktop/DragOverlayImageView.h"

#include <QPainter>

namespace ombrelay {

void DragOverlayImageView::setImage(const QPixmap& image)
{
    m_image = image;
    update();
}

void DragOverlayImageView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), m_image);
}

}  // namespace ombrelay
