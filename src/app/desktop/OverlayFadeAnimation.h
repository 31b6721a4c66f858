#pragma once

#include <QAbstractAnimation>
#include <QEasingCurve>

namespace ombrelay {

// A fade of the drag overlay on the ease-in curve; each step reports the opacity it reached. A fade that
// replaces another starts at the progress where its opacity equals the current one, so the overlay never
// jumps.
class OverlayFadeAnimation : public QAbstractAnimation
{
    Q_OBJECT
public:
    int duration() const override { return m_durationMs; }
    double currentValue() const { return valueAt(progress()); }
    double progress() const { return duration() > 0 ? double(currentTime()) / duration() : 1.0; }
    void setCurrentProgress(double progress) { setCurrentTime(int(progress * duration())); }
    // Moves to where the fade shows the opacity.
    void continueFrom(double opacity);

signals:
    void valueChanged(double opacity);

protected:
    OverlayFadeAnimation(int durationMs, QObject* parent);
    double easedProgress(double progress) const { return m_curve.valueForProgress(progress); }
    virtual double valueAt(double progress) const = 0;
    void updateCurrentTime(int) override;

private:
    int m_durationMs;
    QEasingCurve m_curve{QEasingCurve::InQuad};
};

}  // namespace ombrelay
