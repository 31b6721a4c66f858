#pragma once

#include "uikit/PZTrackingCell.h"

namespace ombrelay {

// The switch of a search site: a checkbox, on while the site is enabled; a click switches the site.
class SearchSitesCheckboxCell : public PZTrackingCell
{
public:
    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performAction(PZOutlineObject* object, QWidget* view) override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
};

}  // namespace ombrelay
