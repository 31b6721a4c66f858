#include "app/desktop/DragOverlayFrame.h"

#include "uikit/PZImage.h"
#include "uikit/PZRoundRect.h"

#include <QLinearGradient>
#include <QPainter>

namespace ombrelay {

DragOverlayFrame::DragOverlayFrame(QWidget* parent) : QWidget(parent)
{
    static const bool registered = [] {
        PZImage::registerDrawing(QStringLiteral("DragBG"), [] {
            QImage image(16, 160, QImage::Format_ARGB32_Premultiplied);
            QPainter painter(&image);
            QLinearGradient dark(0, 0, 0, 160);
            dark.setColorAt(0, QColor(0x4a, 0x4d, 0x52));
            dark.setColorAt(1, QColor(0x1e, 0x20, 0x24));
            painter.fillRect(image.rect(), dark);
            return image;
        });
        return true;
    }();
    Q_UNUSED(registered);
}

void DragOverlayFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(PZRoundRect::roundRectangleInRect(rect(), 12), QColor(255, 255, 255, 128));
    const QRectF inner = QRectF(rect()).adjusted(3, 3, -3, -3);
    painter.setClipPath(PZRoundRect::roundRectangleInRect(inner, 9));
    painter.setOpacity(0.95);
    painter.drawPixmap(inner.toRect(), PZImage::imageNamed(QStringLiteral("DragBG")));
}

}  // namespace ombrelay
