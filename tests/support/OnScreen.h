#pragma once

#include "support/Pictures.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

namespace ombrelay::test {

// What the screen shows in `area` (global coordinates).
inline QImage screenArea(const QRect& area)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage();
}

// True when the screen shows `widget` where it stands, as the widget draws itself: a twentieth of its
// pixels may differ (a blinking cursor, a focus frame).
inline bool shownOnScreen(QWidget& widget)
{
    const QImage drawn = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage shown =
        screenArea(QRect(widget.mapToGlobal(QPoint()), widget.size())).convertToFormat(QImage::Format_RGB32);
    return !drawn.isNull() && shown.size() == drawn.size() &&
           differingPixels(shown, drawn, drawn.rect()) <= drawn.width() * drawn.height() / 20;
}

} // namespace ombrelay::test
