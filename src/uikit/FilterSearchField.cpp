#include "uikit/FilterSearchField.h"

#include "uikit/KeyViewLoop.h"

#include <QAbstractItemView>

namespace ombrelay {

FilterSearchField::FilterSearchField(QWidget* parent) : QLineEdit(parent)
{
    setClearButtonEnabled(true);
    setPlaceholderText(tr("Search"));
}

QWidget* FilterSearchField::nextValidKeyView()
{
    if (QWidget* list = KeyViewLoop::currentListWithRowSelected())
        return list;
    return KeyViewLoop::sourceList();
}

bool FilterSearchField::focusNextPrevChild(bool next)
{
    return KeyViewLoop::moveFocus(next ? nextValidKeyView() : previousValidKeyView(), next)
        || QLineEdit::focusNextPrevChild(next);
}

}  // namespace ombrelay
