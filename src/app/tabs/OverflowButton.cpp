#include "app/tabs/OverflowButton.h"

#include "app/tabs/PZSquareTabButton.h"
#include "app/tabs/PZSquareTabView.h"
#include "uikit/PZViewController.h"

#include <QMenu>
#include <QPainter>
#include <QPointer>

namespace ombrelay {

OverflowButton::OverflowButton(PZSquareTabView* tabView) : QToolButton(tabView), m_tabView(tabView)
{
    setFocusPolicy(Qt::NoFocus);
    setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(this);
    setMenu(menu);
    connect(menu, &QMenu::aboutToShow, this, &OverflowButton::rebuildMenu);
}

void OverflowButton::rebuildMenu()
{
    QMenu* tabsMenu = menu();
    tabsMenu->clear();
    for (PZSquareTabButton* tab : m_tabView->hiddenTabs()) {
        QAction* item = tabsMenu->addAction(tab->controller() ? tab->controller()->icon() : QIcon(),
                                            tab->controller() ? tab->controller()->title() : QString());
        item->setCheckable(true);
        item->setChecked(tab->isSelected());
        QPointer<PZSquareTabButton> represented(tab);
        connect(item, &QAction::triggered, this, [this, represented] {
            if (represented)
                m_tabView->selectButton(represented);
        });
    }
}

void OverflowButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isDown() ? QColor(30, 30, 30) : QColor(70, 70, 72));
    const QPointF c = QRectF(rect()).center();
    const QPointF arrow[] = {{c.x() - 4, c.y() - 2}, {c.x() + 4, c.y() - 2}, {c.x(), c.y() + 3}};
    painter.drawPolygon(arrow, 3);
    painter.drawRect(QRectF(c.x() - 6, c.y() - 6, 2, 2));
    painter.drawRect(QRectF(c.x() - 2, c.y() - 6, 2, 2));
    painter.drawRect(QRectF(c.x() + 2, c.y() - 6, 2, 2));
}

}  // namespace ombrelay
