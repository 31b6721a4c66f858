#include "app/web/ForeignSchemeLoop.h"

namespace ombrelay {

bool ForeignSchemeLoop::note(bool started, qint64 now)
{
    if (!m_underWay && m_lastReport >= 0 && now - m_lastReport > kQuietMs)
        m_attempts = 0;
    const bool endsALongAttempt = !started && loopsAt(now);
    if (started) {
        ++m_attempts;
        m_attemptStart = now;
    }
    m_lastReport = now;
    m_underWay = started;
    return m_attempts > kAttemptsAtOnce || endsALongAttempt;
}

bool ForeignSchemeLoop::loopsAt(qint64 now) const
{
    return m_underWay && now - m_attemptStart >= kLoopMs;
}

}  // namespace ombrelay
