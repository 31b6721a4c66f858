#pragma once

#include <QPointer>

namespace ombrelay {

class RSSOutlineView;

// The feed list now on screen, for the mark-all-read menu item: set when a feed list is shown, cleared
// on the pass after it is hidden unless another took its place, and cleared when the list is
// destroyed. Main thread only.
class CurrentRSSOutlineView
{
public:
    static RSSOutlineView* current();
    static void setCurrent(RSSOutlineView* view);
    static void clearIfCurrent(RSSOutlineView* view);

    // Whether a menu item may act: none without a feed list on screen; the mark-all-read item (tag 1)
    // only while the list has new entries.
    static bool validateMenuItem(int tag);
    static void markAllRead();

private:
    static QPointer<RSSOutlineView>& holder();
};

}  // namespace ombrelay
