#include "app/web/ForeignSchemeLoop.h"

namespace ombrelay {

bool ForeignSchemeLoop::note(bool started, qint64 now)
{
    if (m_runStart < 0 || (!m_underWay && now - m_lastReport > kQuietMs)) {
        m_runStart = now;
        m_reports = 0;
    }
    ++m_reports;
    m_lastReport = now;
    m_underWay = started;
    return m_reports > kReportsAtOnce || now - m_runStart >= kLoopMs;
}

bool ForeignSchemeLoop::loopsAt(qint64 now) const
{
    return m_underWay && m_runStart >= 0 && now - m_runStart >= kLoopMs;
}

}  // namespace ombrelay
