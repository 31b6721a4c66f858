#pragma once

#include <QtGlobal>

namespace ombrelay {

// Tells a page that keeps setting its address to other schemes from one that tries once or twice (a user
// clicking a few magnet links), from the engine's reports of those attempts: each starts, then stops or
// fails, as a load. An idle engine reports every attempt, so many attempts in a run tell a loop; a busy one
// reports a whole burst as one load, so one attempt under way for half a second tells it too. A run ends
// after a quiet spell with none under way. Times are milliseconds on the caller's steady clock.
class ForeignSchemeLoop
{
public:
    static constexpr int kAttemptsAtOnce = 5;
    static constexpr qint64 kLoopMs = 500;
    static constexpr qint64 kQuietMs = 2000;

    // Notes a report of an attempt; true when the page loops.
    bool note(bool started, qint64 now);
    // True when the attempt under way has gone on so long that the page loops, with no report since.
    bool loopsAt(qint64 now) const;
    bool isUnderWay() const { return m_underWay; }
    void reset() { *this = {}; }

private:
    qint64 m_attemptStart = -1;
    qint64 m_lastReport = -1;
    int m_attempts = 0;
    bool m_underWay = false;
};

}  // namespace ombrelay
