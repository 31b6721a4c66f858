#pragma once

#include "transfers/LineItem.h"

namespace ombrelay {

// A row of the transfers list: sorts by the transfer, progress and time columns and counts as active
// with its torrent.
class TransferItem : public LineItem
{
public:
    using LineItem::LineItem;

    int compareForSort(const PZOutlineObject& other, const QString& key, const QString& comparison) const override;
    bool isActive() const override;

protected:
    std::unique_ptr<LineItem> makeChild(OBLine* line) override;
};

}  // namespace ombrelay
