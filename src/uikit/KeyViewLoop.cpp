#include "uikit/KeyViewLoop.h"

#include "uikit/PZOutlineView.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

namespace ombrelay {

namespace {

KeyViewLoop::Parts& parts()
{
    static KeyViewLoop::Parts installed;
    return installed;
}

QWidget* ask(const std::function<QWidget*()>& part)
{
    return part ? part() : nullptr;
}

QAbstractItemView* firstList(QWidget* view)
{
    if (auto* list = qobject_cast<QAbstractItemView*>(view))
        return list;
    QList<QWidget*> children;
    for (QWidget* child : view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isHidden() && !child->isWindow())
            children.append(child);
    }
    for (QWidget* child : children) {
        if (auto* list = qobject_cast<QAbstractItemView*>(child))
            return list;
    }
    for (QWidget* child : children) {
        if (QAbstractItemView* list = firstList(child))
            return list;
    }
    return nullptr;
}

}  // namespace

void KeyViewLoop::install(Parts installed)
{
    parts() = std::move(installed);
}

QAbstractItemView* KeyViewLoop::listInView(QWidget* view)
{
    return view ? firstList(view) : nullptr;
}

QAbstractItemView* KeyViewLoop::currentList()
{
    return listInView(ask(parts().content));
}

QAbstractItemView* KeyViewLoop::currentListWithRowSelected()
{
    QAbstractItemView* list = currentList();
    if (!list || !list->model() || !list->selectionModel())
        return list;
    if (list->selectionModel()->hasSelection())
        return list;
    if (auto* outline = qobject_cast<PZOutlineView*>(list)) {
        outline->selectFirstRow();  // never a group row
    } else if (list->model()->rowCount() > 0) {
        const QModelIndex first = list->model()->index(0, 0);
        list->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    return list;
}

QWidget* KeyViewLoop::sourceList()
{
    return ask(parts().sourceList);
}

QWidget* KeyViewLoop::searchField()
{
    return ask(parts().searchField);
}

QWidget* KeyViewLoop::statsRow()
{
    return ask(parts().statsRow);
}

bool KeyViewLoop::moveFocus(QWidget* target, bool next)
{
    if (!target || !target->isVisible() || !target->isEnabled())
        return false;
    target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

}  // namespace ombrelay
