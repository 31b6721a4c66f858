#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "uikit/PZSortDescriptor.h"
#include "uikit/PZTrackingCell.h"

namespace ombrelay {

// A column of an outline view: identified by the name of the cell class that draws it, with the sort
// key a click on its header starts with (none: the column does not sort).
struct PZOutlineColumn
{
    QString identifier;
    QString title;
    int width = 100;
    std::unique_ptr<PZTrackingCell> cell;
    std::optional<PZSortDescriptor> sortPrototype;
};

}  // namespace ombrelay
