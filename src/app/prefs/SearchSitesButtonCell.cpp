#include "app/prefs/SearchSitesButtonCell.h"

#include <QStyleOptionButton>
#include <QWidget>

namespace ombrelay {

void SearchSitesButtonCell::drawInterior(QPainter& painter, const QRect& frame)
{
    const QList<QRect> rects = controlRects(frame, cellObject());
    const QWidget* view = state().view;
    if (rects.isEmpty() || !view)
        return;
    QStyleOptionButton option;
    option.initFrom(view);
    option.rect = rects[0];
    option.state = QStyle::State_Enabled;
    if (activeTrackingRect() == 0)
        option.state |= QStyle::State_Sunken;
    drawButton(painter, option, *view);
}

}  // namespace ombrelay
