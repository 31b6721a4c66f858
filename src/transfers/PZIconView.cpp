#include "transfers/PZIconView.h"

#include "transfers/ShadowedTextField.h"
#include "uikit/PZRoundRect.h"

#include <QMouseEvent>
#include <QPainter>

namespace ombrelay {

void PZIconView::setImage(const QPixmap& image)
{
    m_image = image;
    update();
}

void PZIconView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!m_image.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QSize size = m_image.size().scaled(this->size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
        painter.drawPixmap(target, m_image);
        return;
    }
    const QPainterPath outline = PZRoundRect::roundRectangleInRect(QRectF(rect()).adjusted(5, 5, -5, -5), 10);
    const PZShadow shadow = ShadowedTextField::shadow();
    QPen pen(shadow.color, 4);
    pen.setDashPattern({9.0 / 4, 4.0 / 4});  // in units of the line width
    pen.setCapStyle(Qt::FlatCap);              // square caps would close the gaps
    painter.setPen(pen);
    painter.drawPath(outline.translated(shadow.offset));
    pen.setColor(QColor(255, 255, 255, 128));
    painter.setPen(pen);
    painter.drawPath(outline);
}

void PZIconView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

}  // namespace ombrelay
