#include "app/prefs/SearchSitesEditCell.h"

#include "app/prefs/SearchSitesTableView.h"

#include <QCoreApplication>
#include <QStyleOptionButton>
#include <QWidget>

namespace ombrelay {

QList<QRect> SearchSitesEditCell::controlRects(const QRect& frame, PZOutlineObject* object) const
{
    const SearchSitesTableView::Row* row = SearchSitesTableView::rowOf(object);
    if (!row || !row->isUserSite)
        return {};
    return {QRect(int(frame.x() + (frame.width() - 60) * 0.5), int(frame.y() + (frame.height() - 25) * 0.5), 60, 25)};
}

void SearchSitesEditCell::performAction(PZOutlineObject* object, QWidget* view)
{
    const SearchSitesTableView::Row* row = SearchSitesTableView::rowOf(object);
    if (auto* table = qobject_cast<SearchSitesTableView*>(view); table && row) {
        table->setEditingRow(row->row);
        table->edit();
    }
}

void SearchSitesEditCell::drawInterior(QPainter& painter, const QRect& frame)
{
    const QList<QRect> rects = controlRects(frame, cellObject());
    const QWidget* view = state().view;
    if (rects.isEmpty() || !view)
        return;
    QStyleOptionButton option;
    option.initFrom(view);
    option.rect = rects[0].adjusted(0, 2, 0, -2);
    option.text = QCoreApplication::translate("SearchSitesEditCell", "Edit...");
    option.state = QStyle::State_Enabled | QStyle::State_Raised;
    if (activeTrackingRect() == 0)
        option.state |= QStyle::State_Sunken;
    view->style()->drawControl(QStyle::CE_PushButton, &option, &painter, view);
}

}  // namespace ombrelay
