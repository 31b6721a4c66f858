#include "app/frame/MainSplitHandle.h"

#include "app/frame/MainSplitView.h"
#include "uikit/PZColor.h"
#include "uikit/PZViewExtensions.h"

#include <QMouseEvent>
#include <QPainter>

namespace ombrelay {

namespace {

const QColor& gray(double level)
{
    return PZColor::colorWithCalibratedRed(level, level, level, 1);
}

}  // namespace

MainSplitHandle::MainSplitHandle(MainSplitView* splitView)
    : QSplitterHandle(Qt::Horizontal, splitView), m_splitView(splitView)
{
}

void MainSplitHandle::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool blueTint = PZViewExtensions::shouldDrawWithBlueTint(this);
    painter.fillRect(rect(), gray(blueTint ? 0.733333 : 0.823529));
    painter.fillRect(QRect(0, 0, 1, 1), gray(blueTint ? 0.341176 : 0.529412));
}

void MainSplitHandle::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_grabOffset = event->position().x();
}

void MainSplitHandle::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        m_splitView->dragDividerTo(mapToParent(event->position()).x() - m_grabOffset);
}

void MainSplitHandle::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    m_splitView->dragEnded();
}

}  // namespace ombrelay
