#include "app/tabs/PZSquareTabButton.h"

#include "app/tabs/DelayedProgressIndicator.h"
#include "app/tabs/TabActionButton.h"
#include "uikit/PZViewController.h"

#include <QMouseEvent>
#include <QPainter>

namespace ombrelay {

PZSquareTabButton::PZSquareTabButton(PZViewController* controller, QWidget* parent)
    : HighlightingButton(parent),
      m_controller(controller),
      m_actionButton(new TabActionButton(this)),
      m_progressIndicator(new DelayedProgressIndicator(this))
{
    controller->setParent(this);
    setFocusPolicy(Qt::NoFocus);
    m_actionButton->hide();
}

// The controller, a child, goes after this button's own parts: what it sends as it ends (a search
// stopping) must not reach them.
PZSquareTabButton::~PZSquareTabButton()
{
    if (m_controller)
        m_controller->disconnect(this);
}

bool PZSquareTabButton::canClose() const
{
    return m_actionButton->style() == TabActionButton::kClose;
}

void PZSquareTabButton::setIsAnimating(bool animating)
{
    m_progressIndicator->setIsAnimating(animating);
}

void PZSquareTabButton::setIsMouseOver(bool over)
{
    HighlightingButton::setIsMouseOver(over);
    m_actionButton->setVisible(over && canClose());
    if (parentWidget())
        parentWidget()->update();
}

void PZSquareTabButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit pressedDown(this);
}

void PZSquareTabButton::mouseReleaseEvent(QMouseEvent*) {}

void PZSquareTabButton::resizeEvent(QResizeEvent*)
{
    m_progressIndicator->move(width() - 20, 3);
}

void PZSquareTabButton::paintEvent(QPaintEvent*)
{
    if (!m_controller)
        return;
    QPainter painter(this);
    QFont font = painter.font();
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    const QRect area(23, 0, width() - 49, height());
    if (area.width() <= 0)
        return;
    const QString title = painter.fontMetrics().elidedText(m_controller->title(), Qt::ElideRight, area.width());
    painter.setPen(QColor(255, 255, 255, 128));
    painter.drawText(area.translated(0, 1), Qt::AlignCenter, title);
    painter.setPen(QColor(0, 0, 0, 204));
    painter.drawText(area, Qt::AlignCenter, title);
}

}  // namespace ombrelay
