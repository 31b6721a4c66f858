#pragma once

#include "uikit/PZTrackingCell.h"

namespace ombrelay {

class SourceView;

// The small close button at the right of a source-list row: removes the row's item (asking first for a
// non-empty folder or a feed).
class CloseButtonCell : public PZTrackingCell
{
public:
    explicit CloseButtonCell(SourceView& view) : m_view(view) {}

    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performAction(PZOutlineObject* object, QWidget* view) override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;

private:
    SourceView& m_view;
};

}  // namespace ombrelay
