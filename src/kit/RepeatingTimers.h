#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>
#include <set>
#include <utility>

namespace ombrelay {

// Many repeating timers served by one Qt timer. Qt keeps its timers in one list sorted by due time, and
// every timer that restarts walks past the later ones: a thousand torrents' minute timers would make
// each 0.05 s animation step and each engine tick pay for all of them. Each timer here keeps its own
// interval and phase; one belongs to an object and is gone with it. Main thread only.
class RepeatingTimers : public QObject
{
public:
    using Clock = std::function<qint64()>;  // milliseconds that never jump

    explicit RepeatingTimers(Clock clock = {});
    static RepeatingTimers& instance();

    // (Re)starts the timer of `owner`: `fire` runs every `intervalMs` from now on, until it is stopped or
    // `owner` is destroyed.
    void start(QObject* owner, int intervalMs, std::function<void()> fire);
    void stop(const QObject* owner);
    bool isActive(const QObject* owner) const { return m_timers.contains(owner); }

    // Runs every timer that is due by the clock (the Qt timer calls it when the earliest is due).
    void fireDue();

private:
    struct Timer
    {
        qint64 due = 0;
        int interval = 0;
        std::function<void()> fire;
    };
    using Slot = std::pair<qint64, const QObject*>;  // due time, owner
    void arm();

    Clock m_clock;
    QHash<const QObject*, Timer> m_timers;
    std::set<Slot> m_schedule;  // the timers by due time
    QSet<const QObject*> m_watched;  // owners whose destruction stops their timer
    QTimer m_wake;              // single shot, at the earliest due time
};

}  // namespace ombrelay
