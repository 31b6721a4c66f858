#pragma once

namespace ombrelay {

class QueryOutlineView;

// A pane controller whose list the results toolbar acts on: a search's results or a feed's entries.
// Download acts on the list's selection, Refresh on the controller, View Mode on every such list.
class ResultsPane
{
public:
    virtual ~ResultsPane() = default;
    virtual QueryOutlineView* outlineView() const = 0;
    virtual void refreshContents() = 0;
};

}  // namespace ombrelay
