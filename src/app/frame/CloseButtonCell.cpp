#include "app/frame/CloseButtonCell.h"

#include "app/frame/SourceItem.h"
#include "app/frame/SourceView.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"

namespace ombrelay {

QList<QRect> CloseButtonCell::controlRects(const QRect& frame, PZOutlineObject*) const
{
    return {QRect(frame.x() + frame.width() - 15, frame.y() + 3, 14, 14)};
}

void CloseButtonCell::performAction(PZOutlineObject* object, QWidget*)
{
    m_view.removeItem(static_cast<SourceItem*>(object));
}

void CloseButtonCell::drawInterior(QPainter& painter, const QRect& frame)
{
    const QString name = activeTrackingRect() >= 0 ? QStringLiteral("CloseActive12") : QStringLiteral("Close12");
    PZImageDrawing::drawAtPoint(painter, PZImage::flippedImageNamed(name),
                                QPointF(frame.x() + frame.width() - 14, frame.y() + 4));
}

}  // namespace ombrelay
