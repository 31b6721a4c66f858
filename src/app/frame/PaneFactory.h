#pragma once

#include <memory>

namespace ombrelay {

class SourceItem;
class SourcePane;

// Makes the pane of a search or feed item (the main pane controller once it is written).
class PaneFactory
{
public:
    virtual ~PaneFactory() = default;
    virtual std::unique_ptr<SourcePane> makePane(SourceItem& item) = 0;
};

}  // namespace ombrelay
