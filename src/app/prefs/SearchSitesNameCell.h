#pragma once

#include "uikit/PZNode.h"

namespace ombrelay {

// A search site's icon on its light background, then its name in one line, white on a selected row.
class SearchSitesNameCell : public PZNode
{
public:
    const PZTextAttributes* primaryAttributes() const override;
    const PZTextAttributes* primaryAttributesAlternate() const override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    qreal drawLeftDecoration(QPainter& painter, const QRect& frame) override;
};

}  // namespace ombrelay
