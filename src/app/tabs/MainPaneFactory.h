#pragma once

#include "app/PaneFactory.h"

namespace ombrelay {

// Makes a main pane with square tabs for every search and feed item.
class MainPaneFactory : public PaneFactory
{
public:
    std::unique_ptr<SourcePane> makePane(SourceItem& item) override;
};

}  // namespace ombrelay
