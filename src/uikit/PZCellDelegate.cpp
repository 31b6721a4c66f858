#include "uikit/PZCellDelegate.h"

#include "uikit/PZCellTracker.h"
#include "uikit/PZOutlineView.h"
#include "uikit/PZTrackingCell.h"
#include "uikit/PZViewExtensions.h"

#include <QHeaderView>

namespace ombrelay {

PZCellDelegate::PZCellDelegate(PZOutlineView* view, int column) : QStyledItemDelegate(view), m_view(view), m_column(column)
{
}

void PZCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (!m_view->needsToDraw(option.rect))
        return;
    PZOutlineObject* object = m_view->objectAt(index);
    PZTrackingCell* cell = m_view->cellFor(m_column, object);
    if (!cell || !object)
        return;
    PZCellState state;
    state.object = object;
    state.view = m_view;
    state.highlighted = option.state & QStyle::State_Selected;
    state.hostIsFirstResponder = m_view->isFirstResponder();
    state.windowIsActive = PZViewExtensions::shouldDrawWithBlueTint(m_view);
    state.activeTrackingRect = m_view->cellTracker()->activeTrackingRectFor(object, m_column);
    cell->draw(*painter, option.rect, state);
}

QSize PZCellDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const PZOutlineObject* object = m_view->objectAt(index);
    return {m_view->header()->sectionSize(m_column), object ? m_view->heightOfRow(*object, m_view->levelOf(index)) : 17};
}

}  // namespace ombrelay
