#pragma once

#include "app/prefs/SearchSitesButtonCell.h"

namespace ombrelay {

// The "Edit..." button of a user site's row (built-in sites have none); a click opens the edit sheet.
class SearchSitesEditCell : public SearchSitesButtonCell
{
public:
    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performAction(PZOutlineObject* object, QWidget* view) override;

protected:
    void drawButton(QPainter& painter, QStyleOptionButton& option, const QWidget& view) override;
};

}  // namespace ombrelay
