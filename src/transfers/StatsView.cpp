#include "transfers/StatsView.h"

#include "uikit/KeyViewLoop.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QPainter>

namespace ombrelay {

StatsView::StatsView(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(kRowHeight);
    setFocusPolicy(Qt::StrongFocus);
}

void StatsView::setTransfersViewShown(bool shown)
{
    if (m_transfersViewShown == shown)
        return;
    m_transfersViewShown = shown;
    update();
    tellIfSeen();
}

bool StatsView::isTransfersViewSeen() const
{
    return m_transfersViewShown && isActiveWindow();
}

bool StatsView::isHighlighted() const
{
    return hasFocus() || m_transfersViewShown;
}

void StatsView::tellIfSeen()
{
    if (isTransfersViewSeen())
        emit transfersViewSeen();
}

void StatsView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool active = isActiveWindow();
    painter.fillRect(rect(), active ? QColor(209, 215, 226) : QColor(232, 232, 232));
    const bool highlighted = isHighlighted();
    const bool emphasised = highlighted && (hasFocus() || active);
    if (highlighted) {
        const QString image = hasFocus() || active ? QStringLiteral("Selection44") : QStringLiteral("SelectionAlternate44");
        PZImageDrawing::drawInRect(painter, PZImage::flippedImageNamed(image), QRectF(rect()));
    }
    m_cell.draw(painter, rect(), highlighted, emphasised);
}

void StatsView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit activated();
    QWidget::mousePressEvent(event);
}

void StatsView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        emit activated();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

bool StatsView::focusNextPrevChild(bool next)
{
    QWidget* target = next ? static_cast<QWidget*>(KeyViewLoop::currentListWithRowSelected()) : KeyViewLoop::searchField();
    return KeyViewLoop::moveFocus(target, next) || QWidget::focusNextPrevChild(next);
}

void StatsView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        update();
        tellIfSeen();
    }
}

void StatsView::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void StatsView::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

}  // namespace ombrelay
