#include "uikit/PZCheckboxCell.h"

#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZOutlineObject.h"

#include <QAbstractScrollArea>
#include <QWidget>

namespace ombrelay {

QString PZCheckboxCell::imageName(int checkboxState, bool pressed, bool windowIsActive)
{
    QString name = QStringLiteral("Checkbox");
    name += checkboxState == 0 ? QLatin1String("On") : checkboxState == 1 ? QLatin1String("Off") : QLatin1String("Mixed");
    if (pressed)
        name += QLatin1String("Active");
    if (checkboxState != 1 && !windowIsActive)
        name += QLatin1String("X");
    return name;
}

int PZCheckboxCell::toggledState(int checkboxState)
{
    return checkboxState == 0 || checkboxState == 2 ? 1 : 0;
}

qreal PZCheckboxCell::drawLeftDecoration(QPainter& painter, const QRect& frame)
{
    const PZOutlineObject* object = cellObject();
    const int checkboxState = object ? object->checkboxState() : -1;
    if (checkboxState == -1)
        return PZNode::drawLeftDecoration(painter, frame);
    const bool pressed = activeTrackingRect() == 0;
    const QPixmap box = PZImage::flippedImageNamed(imageName(checkboxState, pressed, state().windowIsActive));
    PZImageDrawing::drawAtPoint(painter, box, frame.topLeft() + QPoint(4, 3), object->checkboxIsEnabled() ? 1.0 : 0.5);
    return PZNode::drawLeftDecoration(painter, frame.adjusted(15, 0, 0, 0)) + 15;
}

QList<QRect> PZCheckboxCell::controlRects(const QRect& frame, PZOutlineObject* object) const
{
    if (object && object->checkboxState() != -1 && object->checkboxIsEnabled())
        return {QRect(frame.x() + 3, frame.y() + 2, 12, 13)};
    return {QRect()};
}

void PZCheckboxCell::performAction(PZOutlineObject* object, QWidget* view)
{
    if (!object || object->checkboxState() == -1 || !object->checkboxIsEnabled())
        return;
    object->setCheckboxState(toggledState(object->checkboxState()));
    if (auto* area = qobject_cast<QAbstractScrollArea*>(view))
        area->viewport()->update();
    else if (view)
        view->update();
}

}  // namespace ombrelay
