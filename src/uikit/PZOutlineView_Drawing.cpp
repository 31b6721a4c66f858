#include "uikit/PZOutlineView.h"

#include "uikit/PZColor.h"
#include "uikit/PZOutlineProxyModel.h"
#include "uikit/PZViewExtensions.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>

namespace ombrelay {

QColor PZOutlineView::gridColor()
{
    return PZColor::colorWithCalibratedRed(228 / 255.0, 228 / 255.0, 228 / 255.0, 1);
}

bool PZOutlineView::isFirstResponder() const
{
    return hasFocus() && PZViewExtensions::shouldDrawWithBlueTint(this);
}

QColor PZOutlineView::selectionColor() const
{
    return isFirstResponder() ? PZColor::alternateSelectedControlColor() : PZColor::secondarySelectedControlColor();
}

void PZOutlineView::drawColumnSeparators(QPainter& painter, const QColor& color, const QRect& rect, bool footer) const
{
    const QColor line = PZColor::color(selectionColor(), 0.5, PZColor::whiteColor());
    for (int visual = 0; visual < header()->count(); ++visual) {
        const int column = header()->logicalIndex(visual);
        if (header()->isSectionHidden(column))
            continue;
        const int x = header()->sectionViewportPosition(column) + header()->sectionSize(column) - 1;
        painter.fillRect(QRect(x, rect.y(), 1, rect.height() - (footer ? 1 : 0)), color);
        if (footer)
            painter.fillRect(QRect(x, rect.y() + rect.height() - 1, 1, 1), line);
    }
}

void PZOutlineView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect row(0, option.rect.y(), viewport()->width(), option.rect.height());
    const bool selected = selectionModel()->isSelected(index.siblingAtColumn(0));
    if (selected) {
        const QColor band = selectionColor();
        painter->fillRect(row.adjusted(0, 0, 0, -1), band);
        painter->fillRect(QRect(row.x(), row.y() + row.height() - 1, row.width(), 1),
                          PZColor::color(band, 0.5, PZColor::whiteColor()));
    }
    const PZOutlineObject* object = objectAt(index);
    if (!object || !isGroupItem(*object))
        drawColumnSeparators(*painter, gridColor(), row, false);
    if (selected)
        drawColumnSeparators(*painter, PZColor::color(selectionColor(), 38 / 255.0, PZColor::blackColor()), row, true);
    QTreeView::drawRow(painter, option, index);
}

QModelIndex PZOutlineView::lastVisibleIndex() const
{
    QModelIndex last;
    for (int rows = model()->rowCount(); rows > 0; rows = model()->rowCount(last)) {
        last = model()->index(rows - 1, 0, last);
        if (!isExpanded(last))
            break;
    }
    return last;
}

void PZOutlineView::paintEvent(QPaintEvent* event)
{
    m_paintRegion = event->region();
    QTreeView::paintEvent(event);
    m_paintRegion = QRegion();
    // The grid goes on below the last row, to the bottom of the view.
    const QModelIndex last = lastVisibleIndex();
    const int top = last.isValid() ? visualRect(last).bottom() + 1 : 0;
    if (top >= viewport()->height())
        return;
    QPainter painter(viewport());
    drawColumnSeparators(painter, gridColor(), QRect(0, top, viewport()->width(), viewport()->height() - top), false);
}

}  // namespace ombrelay
