#include "app/desktop/OverlayFadeAnimation.h"

namespace ombrelay {

OverlayFadeAnimation::OverlayFadeAnimation(int durationMs, QObject* parent)
    : QAbstractAnimation(parent), m_durationMs(durationMs)
{
}

void OverlayFadeAnimation::continueFrom(double opacity)
{
    // The value is monotonic in the progress: halve the interval until the opacity is matched.
    const bool rising = valueAt(1.0) > valueAt(0.0);
    double low = 0, high = 1;
    for (int step = 0; step < 30; ++step) {
        const double middle = (low + high) / 2;
        if ((valueAt(middle) < opacity) == rising)
            low = middle;
        else
            high = middle;
    }
    setCurrentProgress((low + high) / 2);
}

void OverlayFadeAnimation::updateCurrentTime(int)
{
    emit valueChanged(currentValue());
}

}  // namespace ombrelay
