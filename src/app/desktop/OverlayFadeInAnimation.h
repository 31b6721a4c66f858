#pragma once

#include "app/desktop/OverlayFadeAnimation.h"

namespace ombrelay {

// 0.2 s from hidden to shown: the opacity is the eased progress.
class OverlayFadeInAnimation : public OverlayFadeAnimation
{
    Q_OBJECT
public:
    explicit OverlayFadeInAnimation(QObject* parent = nullptr) : OverlayFadeAnimation(200, parent) {}

protected:
    double valueAt(double progress) const override { return easedProgress(progress); }
};

}  // namespace ombrelay
