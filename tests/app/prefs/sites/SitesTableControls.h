#pragma once

#include "app/prefs/SearchSitesTableView.h"
#include "uikit/PZTrackingCell.h"

namespace ombrelay::test {

// The middle of a cell's control in a row, in the table viewport's coordinates; a null point when the
// cell has none there.
inline QPoint controlCenter(const SearchSitesTableView& table, int row, int column)
{
    const QRect cell = table.cellRect(row, column);
    PZOutlineObject* object = table.objectAt(table.indexAt(cell.center()));
    const QList<QRect> rects = table.cellFor(column, object)->controlRects(cell, object);
    return rects.isEmpty() ? QPoint() : rects.first().center();
}

} // namespace ombrelay::test
