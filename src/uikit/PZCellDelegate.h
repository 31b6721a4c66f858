#pragma once

#include <QStyledItemDelegate>

namespace ombrelay {

class PZOutlineView;

// Draws one column of an outline view with the column's painter cell, and gives rows their heights.
class PZCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    PZCellDelegate(PZOutlineView* view, int column);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    PZOutlineView* m_view;
    int m_column;
};

}  // namespace ombrelay
