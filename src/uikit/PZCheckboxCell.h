#pragma once

#include "uikit/PZNode.h"

namespace ombrelay {

// The node cell of file columns: a three-state checkbox in front of the row's image and texts. A click
// on the checkbox toggles whether the row's file (folder, torrent) is wanted.
class PZCheckboxCell : public PZNode
{
public:
    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performAction(PZOutlineObject* object, QWidget* view) override;

    // The image name for a state: "CheckboxOn", "CheckboxMixedActive", "CheckboxOnX", ...
    static QString imageName(int checkboxState, bool pressed, bool windowIsActive);
    // The state a click leaves: on and mixed (2) become off, every other state on.
    static int toggledState(int checkboxState);

protected:
    qreal drawLeftDecoration(QPainter& painter, const QRect& frame) override;
};

}  // namespace ombrelay
