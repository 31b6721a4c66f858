#include "support/LoopLateness.h"

namespace ombrelay::test {

LoopLateness::LoopLateness()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        const qint64 now = m_clock.elapsed();
        m_worst = std::max(m_worst, now - m_last - m_timer.interval());
        m_last = now;
    });
    m_clock.start();
    m_timer.start();
}

}  // namespace ombrelay::test
