#include "uikit/FilterSearchField.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

namespace ombrelay {

namespace {

FilterSearchField::CurrentTableView& currentTableView()
{
    static FilterSearchField::CurrentTableView resolver;
    return resolver;
}

FilterSearchField::SourceList& sourceList()
{
    static FilterSearchField::SourceList resolver;
    return resolver;
}

}  // namespace

FilterSearchField::FilterSearchField(QWidget* parent) : QLineEdit(parent)
{
    setClearButtonEnabled(true);
    setPlaceholderText(tr("Search"));
}

void FilterSearchField::setKeyViews(CurrentTableView tableView, SourceList list)
{
    currentTableView() = std::move(tableView);
    sourceList() = std::move(list);
}

QWidget* FilterSearchField::nextValidKeyView() const
{
    QAbstractItemView* table = currentTableView() ? currentTableView()() : nullptr;
    if (!table)
        return sourceList() ? sourceList()() : nullptr;
    QItemSelectionModel* selection = table->selectionModel();
    QAbstractItemModel* model = table->model();
    if (selection && model && !selection->hasSelection() && model->rowCount() > 0) {
        selection->select(model->index(0, 0),
                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    return table;
}

bool FilterSearchField::focusNextPrevChild(bool next)
{
    if (QWidget* target = next ? nextValidKeyView() : previousValidKeyView()) {
        target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    return QLineEdit::focusNextPrevChild(next);
}

}  // namespace ombrelay
