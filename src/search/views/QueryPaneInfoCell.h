#pragma once

#include "uikit/PZNode.h"

namespace ombrelay {

// The swarm column: a strip of up to five stars by swarm size and the seed and peer counts beside it
// (below it in the large view). Torrent rows only.
class QueryPaneInfoCell : public PZNode
{
public:
    static float numberOfStars(qint64 swarmSize);
    // The text for the counts; `textWidth` is the room the compact layout leaves beside the stars.
    static QString swarmText(qint64 seeds, qint64 leeches, bool large, int frameWidth, int textWidth);

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
};

}  // namespace ombrelay
