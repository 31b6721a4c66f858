#pragma once

#include <QVariantMap>

class QWidget;

namespace ombrelay {

// The pane of one source-list item, as the selection controller and the source-list cells use it: its
// view (owned by the pane; the content switcher only shows it), its search (none for a feed) and the
// counts drawn in the item's bubble.
class SourcePane
{
public:
    virtual ~SourcePane() = default;

    virtual QWidget* mainPaneView() const = 0;
    // Runs the pane's search again; a feed pane has none and does nothing.
    virtual void performSearch() = 0;
    // Rows that pass the current filter of the pane's list.
    virtual int numberOfItems() const = 0;
    // New entries of a feed; 0 for every other pane.
    virtual int numberOfNewItems() const = 0;
    // The item's stored dictionary changed (the user renamed it).
    virtual void itemChanged(const QVariantMap& item) {}
};

}  // namespace ombrelay
