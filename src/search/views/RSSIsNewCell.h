#pragma once

#include "uikit/PZTrackingCell.h"

namespace ombrelay {

// The feed list's mark column: a spinner while the entry's torrent file is fetched, else a dot for a
// new entry.
class RSSIsNewCell : public PZTrackingCell
{
protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
};

}  // namespace ombrelay
