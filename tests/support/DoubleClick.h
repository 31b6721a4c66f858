#pragma once

#include <QTest>

namespace ombrelay::test {

// A double click as widgets receive it: press, release, then the second press delivered as a double
// click, and its release. (QTest::mouseDClick alone sends only the double-click event.)
inline void doubleClick(QWidget* widget, const QPoint& point, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseClick(widget, Qt::LeftButton, modifiers, point);
    QTest::mouseDClick(widget, Qt::LeftButton, modifiers, point);
    QTest::mouseRelease(widget, Qt::LeftButton, modifiers, point);
}

}  // namespace ombrelay::test
