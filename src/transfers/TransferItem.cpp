#include "transfers/TransferItem.h"

#include "engine/torrent/TorrentLine.h"

namespace ombrelay {

std::unique_ptr<LineItem> TransferItem::makeChild(OBLine* line)
{
    return std::make_unique<TransferItem>(line, this);
}

int TransferItem::compareForSort(const PZOutlineObject& other, const QString& key, const QString& comparison) const
{
    const OBLine* otherLine = static_cast<const TransferItem&>(other).line();
    if (key == QLatin1String("transfer"))
        return line()->compareTransferColumn(*otherLine);
    if (key == QLatin1String("progress"))
        return line()->compareProgressColumn(*otherLine);
    if (key == QLatin1String("timeRemaining"))
        return line()->compareTimeColumn(*otherLine);
    return PZOutlineObject::compareForSort(other, key, comparison);
}

bool TransferItem::isActive() const
{
    TorrentLine* line = torrentLine();
    return line && line->isActive();
}

}  // namespace ombrelay
