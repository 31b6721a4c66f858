#pragma once

#include "app/desktop/OverlayFadeAnimation.h"

namespace ombrelay {

// 0.15 s from shown to hidden: the opacity is 1 - the eased progress.
class OverlayFadeOutAnimation : public OverlayFadeAnimation
{
    Q_OBJECT
public:
    explicit OverlayFadeOutAnimation(QObject* parent = nullptr) : OverlayFadeAnimation(150, parent) {}

protected:
    double valueAt(double progress) const override { return 1.0 - easedProgress(progress); }
};

}  // namespace ombrelay
