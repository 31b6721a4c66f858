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

void SearchSitesEditCell::drawButton(QPainter& painter, QStyleOptionButton& option, const QWidget& view)
{
    option.rect.adjust(0, 2, 0, -2);
    option.text = QCoreApplication::translate("SearchSitesEditCell", "Edit...");
    option.state |= QStyle::State_Raised;
    view.style()->drawControl(QStyle::CE_PushButton, &option, &painter, &view);
}

}  // namespace ombrelay
