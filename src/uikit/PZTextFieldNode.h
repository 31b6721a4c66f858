#pragma once

#include <QSize>

#include "uikit/PZNode.h"

namespace ombrelay {

// The node cell for rows whose title is edited in place (the source list). It draws its image scaled to
// imageSize() and keeps its selected look when drawn outside a list view.
class PZTextFieldNode : public PZNode
{
public:
    virtual QSize imageSize() const { return {16, 16}; }

protected:
    qreal drawLeftDecoration(QPainter& painter, const QRect& frame) override;
    bool computeIsAlternate() const override;
};

}  // namespace ombrelay
