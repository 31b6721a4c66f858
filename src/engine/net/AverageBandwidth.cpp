#include "engine/net/AverageBandwidth.h"

#include <QElapsedTimer>
#include <algorithm>

namespace ombrelay {

namespace {

AverageBandwidth::Clock& replacedClock()
{
    static AverageBandwidth::Clock clock;
    return clock;
}

}  // namespace

void AverageBandwidth::setClock(Clock clock)
{
    replacedClock() = std::move(clock);
}

double AverageBandwidth::now()
{
    if (replacedClock())
        return replacedClock()();
    static const QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    // Offset so that no real time reads as 0, the "never recorded" start time.
    return 1.0 + double(clock.nsecsElapsed()) / 1e9;
}

void AverageBandwidth::recordBytes(quint32 bytes, double at)
{
    if (bytes == 0)
        return;
    if (m_startTime == 0)
        m_startTime = at;
    if (!m_stats.empty() && at >= m_stats.back().time && at - m_stats.back().time < kSampleSpan)
        m_stats.back().bytes += bytes;
    else
        m_stats.push_back({at, bytes});
}

void AverageBandwidth::discardAllStats()
{
    m_stats.clear();
}

float AverageBandwidth::averageBandwidth(double at)
{
    while (!m_stats.empty() && at - m_stats.front().time > m_numberOfSeconds)
        m_stats.pop_front();
    double sum = 0;
    for (const Sample& sample : m_stats)
        sum += double(sample.bytes);
    const double divisor = std::min(std::max(at - m_startTime, 1.0), double(std::max(m_numberOfSeconds, 1)));
    return float(sum / divisor);
}

void AverageBandwidth::updateFormatter(double at)
{
    m_formatter.setValue(quint64(std::max(averageBandwidth(at), 0.0f)));
}

}  // namespace ombrelay
