#include "app/frame/SideResizeWidget.h"

#include "app/frame/MainSplitView.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"

#include <QMouseEvent>
#include <QPainter>

namespace ombrelay {

SideResizeWidget::SideResizeWidget(MainSplitView* splitView, QWidget* parent) : QWidget(parent), m_splitView(splitView)
{
    setFixedSize(15, 23);
    setCursor(Qt::SizeHorCursor);
}

void SideResizeWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PZImageDrawing::drawAtPoint(painter, PZImage::imageNamed(QStringLiteral("SideResize")), QPointF(0, 0));
}

void SideResizeWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_splitView)
        return;
    m_dragging = true;
    m_dragStart = event->globalPosition().x();
    m_initialLeftWidth = float(m_splitView->sidebarWidth());
}

void SideResizeWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        m_splitView->dragDividerTo(m_initialLeftWidth + (event->globalPosition().x() - m_dragStart));
}

void SideResizeWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    m_splitView->dragEnded();
}

}  // namespace ombrelay
