#include "uikit/PZTextFieldNode.h"

#include "uikit/PZImageDrawing.h"

#include <QAbstractItemView>

namespace ombrelay {

qreal PZTextFieldNode::drawLeftDecoration(QPainter& painter, const QRect& frame)
{
    const QPixmap& image = chosenImage();
    if (image.isNull())
        return 0;
    const QPoint offset = imageOffset();
    painter.save();
    painter.setOpacity(PZImageDrawing::clampedOpacity(imageOpacity()));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRect(frame.topLeft() + offset, imageSize()), image);
    painter.restore();
    return imageSize().width() + offset.x();
}

bool PZTextFieldNode::computeIsAlternate() const
{
    if (!qobject_cast<QAbstractItemView*>(state().view))
        return m_isAlternate;
    return PZNode::computeIsAlternate();
}

}  // namespace ombrelay
