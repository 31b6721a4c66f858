#pragma once

#include "uikit/PZTrackingCell.h"

namespace ombrelay {

class TorrentLine;

// The download column of the result and feed lists. A result not in the transfers list: the download
// button. One in it: a small bar with its state or rate over it and a remove button. A file row: the
// get-file button, the complete mark, or nothing for a wanted file of a running transfer. A feed
// article: nothing.
class QueryPaneDownloadCell : public PZTrackingCell
{
public:
    static QRect progressRectInCell(const QRect& frame);
    // "Queued", "Paused", the rate without its unit postfix, or nothing; and whether it is the state
    // style (not the rate).
    static QString bandwidthText(TorrentLine& download, bool* isState = nullptr);

    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performAction(PZOutlineObject* object, QWidget* view) override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;

private:
    void drawBandwidth(QPainter& painter, TorrentLine& download, const QRect& rect);
    void drawRemoveButton(QPainter& painter, const QRect& frame);
};

}  // namespace ombrelay
