#include "app/tabs/DelayedProgressIndicator.h"

#include "kit/PerformLater.h"

#include <QPainter>

namespace ombrelay {

namespace {

constexpr int kSpokes = 12;
constexpr int kFrameMs = 80;

}  // namespace

DelayedProgressIndicator::DelayedProgressIndicator(QWidget* parent) : QWidget(parent)
{
    setFixedSize(16, 16);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    m_frameTimer.setInterval(kFrameMs);
    connect(&m_frameTimer, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % kSpokes;
        update();
    });
}

void DelayedProgressIndicator::setIsAnimating(bool animating)
{
    if (animating == m_wanted)
        return;
    if (animating)
        startAnimation();
    else
        stopAnimation();
}

void DelayedProgressIndicator::startAnimation()
{
    m_wanted = true;
    PerformLater::cancel(this);
    PerformLater::schedule(this, [this] { setRunning(true); }, 0);
}

void DelayedProgressIndicator::stopAnimation()
{
    m_wanted = false;
    PerformLater::cancel(this);
    PerformLater::schedule(this, [this] { setRunning(false); }, kStopDelayMs);
}

void DelayedProgressIndicator::setRunning(bool running)
{
    m_isAnimating = running;
    if (running)
        m_frameTimer.start();
    else
        m_frameTimer.stop();
    setVisible(running);
    if (parentWidget())
        parentWidget()->update();
}

void DelayedProgressIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    for (int spoke = 0; spoke < kSpokes; ++spoke) {
        const int age = (m_frame - spoke + kSpokes) % kSpokes;
        painter.setPen(QPen(QColor(40, 40, 40, 255 - age * 18), 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -3.5), QPointF(0, -7));
        painter.rotate(360.0 / kSpokes);
    }
}

}  // namespace ombrelay
