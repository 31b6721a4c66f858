#include "search/views/MarkAllReadButton.h"

#include "search/views/RSSOutlineView.h"

namespace ombrelay {

MarkAllReadButton::MarkAllReadButton(RSSOutlineView* list, QWidget* parent) : FlatButton(tr("Mark All Read"), parent)
{
    followNewItemsOf(list, [list] { return list->hasNewItems(); });
    connect(this, &QAbstractButton::clicked, list, &RSSOutlineView::markAllRead);
}

}  // namespace ombrelay
