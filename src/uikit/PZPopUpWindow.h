#pragma once

#include <QParallelAnimationGroup>
#include <QPointer>
#include <QWidget>

class QGraphicsOpacityEffect;

namespace ombrelay {

// A small borderless box that pops up over a window with a slide and a fade and goes away the same way
// when clicked. A child of the window it covers: no desktop needs to place a window of ours for it.
class PZPopUpWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSlide = 15;

    // The caller owns the box.
    static PZPopUpWindow* newWindow();

    // The box takes the view's size.
    void setContentView(QWidget* view);
    QWidget* contentView() const { return m_contentView; }
    // Shows the box with its top left at the point of the window, rising into place as it fades in.
    void popUpAtPoint(const QPoint& point, QWidget* parentWindow);
    void animateIn();
    void animateOut();
    double opacity() const;
    bool isFadingOut() const { return m_animation != nullptr; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    PZPopUpWindow();
    QParallelAnimationGroup* fade(double from, double to, const QPoint& start, const QPoint& end, int durationMs);

    QPointer<QWidget> m_contentView;
    QGraphicsOpacityEffect* m_opacity;
    QPointer<QParallelAnimationGroup> m_animation;  // the running fade-out
    QPoint m_place;
};

}  // namespace ombrelay
