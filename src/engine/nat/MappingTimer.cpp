#include "engine/nat/MappingTimer.h"

#include <QTimer>

namespace ombrelay {

namespace {

class EventLoopMappingTimer : public MappingTimer
{
public:
    EventLoopMappingTimer()
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::CoarseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto fire = m_onFire; // the call may start the timer again
            if (fire)
                fire();
        });
    }

    void start(int delayMs, std::function<void()> onFire) override
    {
        m_onFire = std::move(onFire);
        m_timer.start(delayMs);
    }

    void stop() override { m_timer.stop(); }

private:
    QTimer m_timer;
    std::function<void()> m_onFire;
};

} // namespace

std::unique_ptr<MappingTimer> makeEventLoopMappingTimer()
{
    return std::make_unique<EventLoopMappingTimer>();
}

} // namespace ombrelay
