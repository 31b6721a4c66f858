#include "kit/RepeatingTimers.h"

#include "kit/SteadyClock.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace ombrelay {

RepeatingTimers::RepeatingTimers(Clock clock) : m_clock(clock ? std::move(clock) : Clock(&steadyMilliseconds))
{
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, &RepeatingTimers::fireDue);
}

RepeatingTimers& RepeatingTimers::instance()
{
    static RepeatingTimers timers;
    return timers;
}

void RepeatingTimers::start(QObject* owner, int intervalMs, std::function<void()> fire)
{
    stop(owner);
    if (!m_watched.contains(owner)) {
        m_watched.insert(owner);
        connect(owner, &QObject::destroyed, this, [this, owner] {
            m_watched.remove(owner);
            stop(owner);
        });
    }
    const qint64 due = m_clock() + std::max(intervalMs, 1);
    m_timers.insert(owner, {due, std::max(intervalMs, 1), std::move(fire)});
    m_schedule.insert({due, owner});
    if (m_schedule.begin()->second == owner)
        arm();
}

void RepeatingTimers::stop(const QObject* owner)
{
    const auto timer = m_timers.constFind(owner);
    if (timer == m_timers.constEnd())
        return;
    const bool wasFirst = m_schedule.begin()->second == owner;
    m_schedule.erase({timer->due, owner});
    m_timers.erase(timer);
    if (wasFirst)
        arm();
}

void RepeatingTimers::fireDue()
{
    const qint64 now = m_clock();
    std::vector<const QObject*> due;
    while (!m_schedule.empty() && m_schedule.begin()->first <= now) {
        const QObject* owner = m_schedule.begin()->second;
        m_schedule.erase(m_schedule.begin());
        Timer& timer = m_timers[owner];
        // The next firing keeps the phase; one that fell behind (a busy loop) skips what it missed.
        timer.due += timer.interval;
        if (timer.due <= now)
            timer.due = now + timer.interval;
        m_schedule.insert({timer.due, owner});
        due.push_back(owner);
    }
    arm();
    for (const QObject* owner : due) {
        const auto timer = m_timers.constFind(owner);
        if (timer == m_timers.constEnd())
            continue;  // stopped by a timer that fired before it
        const std::function<void()> fire = timer->fire;  // it may restart or stop itself
        fire();
    }
}

void RepeatingTimers::arm()
{
    if (m_schedule.empty()) {
        m_wake.stop();
        return;
    }
    m_wake.start(int(std::clamp<qint64>(m_schedule.begin()->first - m_clock(), 0, INT_MAX)));
}

}  // namespace ombrelay
