#pragma once

#include "app/frame/PaneFactory.h"

#include <functional>

namespace ombrelay {

// Makes a main pane with square tabs for every search and feed item.
class MainPaneFactory : public PaneFactory
{
public:
    std::unique_ptr<SourcePane> makePane(SourceItem& item) override;
    // Called when a pane's last tab closed: the source list drops its selection.
    void setLastTabClosedHandler(std::function<void()> handler) { m_lastTabClosed = std::move(handler); }
    // Called when a pane's counts changed: the source list redraws the item's row.
    void setItemNeedsDisplayHandler(std::function<void()> handler) { m_itemNeedsDisplay = std::move(handler); }

private:
    std::function<void()> m_lastTabClosed;
    std::function<void()> m_itemNeedsDisplay;
};

}  // namespace ombrelay
