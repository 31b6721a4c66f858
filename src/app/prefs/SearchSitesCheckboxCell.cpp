#include "app/prefs/SearchSitesCheckboxCell.h"

#include "app/prefs/SearchSitesTableView.h"
#include "search/SearchSites.h"

#include <QStyleOptionButton>
#include <QWidget>

namespace ombrelay {

QList<QRect> SearchSitesCheckboxCell::controlRects(const QRect& frame, PZOutlineObject* object) const
{
    const SearchSitesTableView::Row* row = SearchSitesTableView::rowOf(object);
    if (!row || row->isSeparator)
        return {};
    return {QRect(frame.x() + frame.width() - 25, frame.y() + 3, 18, 18)};
}

void SearchSitesCheckboxCell::performAction(PZOutlineObject* object, QWidget* view)
{
    const SearchSitesTableView::Row* row = SearchSitesTableView::rowOf(object);
    if (auto* table = qobject_cast<SearchSitesTableView*>(view); table && row)
        table->enable(!SearchSites::moduleIsEnabled(row->site), row->row);
}

void SearchSitesCheckboxCell::drawButton(QPainter& painter, QStyleOptionButton& option, const QWidget& view)
{
    const int side = view.style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, &view);
    const QPoint center = option.rect.center();
    option.rect = QRect(0, 0, side, side);
    option.rect.moveCenter(center);
    const bool on = SearchSites::moduleIsEnabled(SearchSitesTableView::rowOf(cellObject())->site);
    option.state |= on ? QStyle::State_On : QStyle::State_Off;
    view.style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, &view);
}

}  // namespace ombrelay
