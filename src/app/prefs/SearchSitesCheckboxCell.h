#pragma once

#include "app/prefs/SearchSitesButtonCell.h"

namespace ombrelay {

// The switch of a search site: a checkbox, on while the site is enabled; a click switches the site.
class SearchSitesCheckboxCell : public SearchSitesButtonCell
{
public:
    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performAction(PZOutlineObject* object, QWidget* view) override;

protected:
    void drawButton(QPainter& painter, QStyleOptionButton& option, const QWidget& view) override;
};

}  // namespace ombrelay
