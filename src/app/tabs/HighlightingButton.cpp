#include "app/tabs/HighlightingButton.h"

namespace ombrelay {

HighlightingButton::HighlightingButton(QWidget* parent) : QAbstractButton(parent)
{
    setAttribute(Qt::WA_Hover);
    setAutoFillBackground(false);
}

void HighlightingButton::setIsMouseOver(bool over)
{
    m_isMouseOver = over;
    update();
}

void HighlightingButton::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    setIsMouseOver(true);
}

void HighlightingButton::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    setIsMouseOver(false);
}

}  // namespace ombrelay
