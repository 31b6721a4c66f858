#include "uikit/PZViewExtensions.h"

#include <QApplication>
#include <QMenu>
#include <QWidget>

namespace ombrelay {

bool PZViewExtensions::shouldDrawWithBlueTint(const QWidget* view)
{
    if (view && view->window() && view->window()->isActiveWindow())
        return true;
    return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr;
}

QPoint PZViewExtensions::screenLocation(const QWidget* view)
{
    return view ? view->mapToGlobal(QPoint(0, 0)) : QPoint();
}

QRect PZViewExtensions::screenRectOfRect(const QWidget* view, const QRect& rect)
{
    return view ? QRect(view->mapToGlobal(rect.topLeft()), rect.size()) : rect;
}

}  // namespace ombrelay
