#pragma once

#include "kit/PZBandwidth.h"

#include <QString>
#include <deque>
#include <functional>

namespace ombrelay {

// A sliding-window meter of transferred bytes: the average rate over the last `numberOfSeconds` seconds
// (over the transfer's age while it is younger, but never less than one second). Times are seconds on a
// monotonic clock; every operation has a form taking the time, so tests fix it. Main thread only.
class AverageBandwidth
{
public:
    AverageBandwidth() = default;

    static double now();
    // Replaces the clock now() reads (tests); an empty one brings back the monotonic clock.
    using Clock = std::function<double()>;
    static void setClock(Clock clock);

    int numberOfSeconds() const { return m_numberOfSeconds; }
    void setNumberOfSeconds(int seconds) { m_numberOfSeconds = seconds; }
    double startTime() const { return m_startTime; }

    // Ignored for 0 bytes.
    void recordBytes(quint32 bytes) { recordBytes(bytes, now()); }
    void recordBytes(quint32 bytes, double at);
    // Drops every sample (a torrent paused or resumed); the start time stays.
    void discardAllStats();

    // Computes the average and keeps it as the formatter's value.
    void updateFormatter() { updateFormatter(now()); }
    void updateFormatter(double at);
    // The last computed rate in bytes per second.
    float bandwidth() const { return float(m_formatter.value()); }
    const PZBandwidth& formatter() const { return m_formatter; }
    QString description() const { return m_formatter.description(); }

    float averageBandwidth(double at);

private:
    struct Sample
    {
        double time;
        quint64 bytes;
    };
    // Bytes recorded this close after a sample join it, so a fast transfer keeps few samples.
    static constexpr double kSampleSpan = 0.05;

    double m_startTime = 0;
    int m_numberOfSeconds = 3;
    std::deque<Sample> m_stats;
    PZBandwidth m_formatter;
};

}  // namespace ombrelay
