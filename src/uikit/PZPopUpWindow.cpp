#include "uikit/PZPopUpWindow.h"

#include <QGraphicsOpacityEffect>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

namespace ombrelay {

PZPopUpWindow* PZPopUpWindow::newWindow()
{
    return new PZPopUpWindow;
}

PZPopUpWindow::PZPopUpWindow() : m_opacity(new QGraphicsOpacityEffect(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    resize(10, 10);
    m_opacity->setOpacity(0);
    setGraphicsEffect(m_opacity);
    hide();
}

void PZPopUpWindow::setContentView(QWidget* view)
{
    resize(view->size());
    view->setParent(this);
    view->move(0, 0);
    view->show();
    m_contentView = view;
}

void PZPopUpWindow::popUpAtPoint(const QPoint& point, QWidget* parentWindow)
{
    m_place = point;
    setParent(parentWindow);
    move(point);
    raise();
    show();
    animateIn();
}

double PZPopUpWindow::opacity() const
{
    return m_opacity->opacity();
}

QParallelAnimationGroup* PZPopUpWindow::fade(double from, double to, const QPoint& start, const QPoint& end,
                                             int durationMs)
{
    auto* group = new QParallelAnimationGroup(this);
    auto* alpha = new QPropertyAnimation(m_opacity, "opacity", group);
    alpha->setStartValue(from);
    alpha->setEndValue(to);
    alpha->setDuration(durationMs);
    auto* slide = new QPropertyAnimation(this, "pos", group);
    slide->setStartValue(start);
    slide->setEndValue(end);
    slide->setDuration(durationMs);
    if (to < from) {
        alpha->setEasingCurve(QEasingCurve::InQuad);
        slide->setEasingCurve(QEasingCurve::InQuad);
    }
    return group;
}

void PZPopUpWindow::animateIn()
{
    m_opacity->setOpacity(0);
    fade(0, 1, m_place + QPoint(0, kSlide), m_place, 300)->start(QAbstractAnimation::DeleteWhenStopped);
}

void PZPopUpWindow::animateOut()
{
    if (m_animation || !isVisible())
        return;
    m_animation = fade(opacity(), 0, pos(), pos() + QPoint(0, kSlide), 150);
    connect(m_animation, &QAbstractAnimation::finished, this, [this] {
        m_animation = nullptr;  // deleted later
        hide();
        move(m_place);
    });
    m_animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void PZPopUpWindow::mousePressEvent(QMouseEvent*)
{
    animateOut();
}

}  // namespace ombrelay
