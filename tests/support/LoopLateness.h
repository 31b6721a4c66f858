#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace ombrelay::test {

// Measures how late the event loop runs a 5 ms timer while it lives: a blocked main thread shows as
// lateness.
class LoopLateness : public QObject
{
public:
    LoopLateness();
    qint64 worstMs() const { return m_worst; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_worst = 0;
};

}  // namespace ombrelay::test
