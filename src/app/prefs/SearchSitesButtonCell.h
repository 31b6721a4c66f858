#pragma once

#include "uikit/PZTrackingCell.h"

class QStyleOptionButton;

namespace ombrelay {

// A search-site cell whose one control is a button drawn by the style: the option comes filled with the
// control's rectangle and drawn pressed while the control is tracked.
class SearchSitesButtonCell : public PZTrackingCell
{
protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    virtual void drawButton(QPainter& painter, QStyleOptionButton& option, const QWidget& view) = 0;
};

}  // namespace ombrelay
