#pragma once

#include <QPoint>
#include <QRect>

class QWidget;

namespace ombrelay {

// Where and how a widget draws.
class PZViewExtensions
{
public:
    // The active style: the widget's window is the active one, or a menu is open.
    static bool shouldDrawWithBlueTint(const QWidget* view);
    static QPoint screenLocation(const QWidget* view);
    // A rectangle of the widget in screen coordinates (the size is kept).
    static QRect screenRectOfRect(const QWidget* view, const QRect& rect);
};

}  // namespace ombrelay
