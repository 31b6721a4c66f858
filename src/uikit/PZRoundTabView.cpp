#include "uikit/PZRoundTabView.h"

#include "kit/NotificationCenter.h"
#include "uikit/PZRoundTabButton.h"

namespace ombrelay {

PZRoundTabView::PZRoundTabView(QWidget* parent) : QWidget(parent) {}

void PZRoundTabView::addRoundButtonWithTitle(const QString& title)
{
    auto* button = new PZRoundTabButton(this);
    button->setName(title);
    connect(button, &QAbstractButton::clicked, this, [this, button] {
        selectButtonAtIndex(m_buttons.indexOf(button));
        update();
    });
    m_buttons.append(button);
    button->show();
    relayoutViews();
}

PZRoundTabButton* PZRoundTabView::buttonAt(int index) const
{
    return index >= 0 && index < m_buttons.size() ? m_buttons[index] : nullptr;
}

void PZRoundTabView::setCount(int count, int index)
{
    if (PZRoundTabButton* button = buttonAt(index))
        button->setCount(count);
}

int PZRoundTabView::countAtIndex(int index) const
{
    const PZRoundTabButton* button = buttonAt(index);
    return button ? button->count() : 0;
}

void PZRoundTabView::selectButtonAtIndex(qint64 index)
{
    if (index >= 0) {
        for (int i = 0; i < m_buttons.size(); ++i)
            m_buttons[i]->setIsSelected(i == index);
    }
    postNotificationAboutSelf(this, QStringLiteral("PZRoundTabViewSelectionDidChange"));
    update();
}

int PZRoundTabView::selectedIndex() const
{
    for (int i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i]->isSelected())
            return i;
    }
    return -1;
}

void PZRoundTabView::relayoutViews()
{
    int x = 6;
    for (PZRoundTabButton* button : m_buttons) {
        button->setText(button->stringValue());
        button->resize(button->sizeHint());
        const QPoint origin(x, height() - 3 - button->height());
        if (button->pos() != origin)
            button->move(origin);
        x += button->width() + 2;
    }
}

QSize PZRoundTabView::sizeHint() const
{
    int width = 6;
    for (const PZRoundTabButton* button : m_buttons)
        width += button->sizeHint().width() + 2;
    return {width, 22};
}

void PZRoundTabView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayoutViews();
}

}  // namespace ombrelay
