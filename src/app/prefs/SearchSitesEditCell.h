#pragma once

#include "uikit/PZTrackingCell.h"

namespace ombrelay {

// The "Edit..." button of a user site's row (built-in sites have none); a click opens the edit sheet.
class SearchSitesEditCell : public PZTrackingCell
{
public:
    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performAction(PZOutlineObject* object, QWidget* view) override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
};

}  // namespace ombrelay
