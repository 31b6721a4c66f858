#include "search/views/CurrentRSSOutlineView.h"

#include "search/views/RSSOutlineView.h"

namespace ombrelay {

QPointer<RSSOutlineView>& CurrentRSSOutlineView::holder()
{
    static QPointer<RSSOutlineView> view;
    return view;
}

RSSOutlineView* CurrentRSSOutlineView::current()
{
    return holder().data();
}

void CurrentRSSOutlineView::setCurrent(RSSOutlineView* view)
{
    holder() = view;
}

void CurrentRSSOutlineView::clearIfCurrent(RSSOutlineView* view)
{
    if (holder() == view)
        holder() = nullptr;
}

bool CurrentRSSOutlineView::validateMenuItem(int tag)
{
    RSSOutlineView* view = current();
    if (!view)
        return false;
    return tag != 1 || view->hasNewItems();
}

void CurrentRSSOutlineView::markAllRead()
{
    if (RSSOutlineView* view = current())
        view->markAllRead();
}

}  // namespace ombrelay
