#pragma once

#include <QEvent>
#include <QObject>
#include <QPaintEvent>
#include <QRegion>

namespace ombrelay::test {

// Counts the paints of the widgets it filters and unites their regions.
struct PaintSpy : QObject
{
    QRegion region;
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            region += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

}  // namespace ombrelay::test
