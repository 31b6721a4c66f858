#pragma once

#include "platform/SleepWatcher.h"

#include <QDBusConnection>

namespace ombrelay {

// Wake-ups from logind: PrepareForSleep(false) on the system bus.
class LogindSleepWatcher : public SleepWatcher
{
    Q_OBJECT
public:
    explicit LogindSleepWatcher(QObject* parent = nullptr);
    // Listens on the given bus instead of the system bus (tests run a private bus).
    explicit LogindSleepWatcher(const QDBusConnection& bus, QObject* parent = nullptr);

    bool isListening() const { return m_listening; }

private slots:
    void prepareForSleep(bool starting);

private:
    bool m_listening = false;
};

}  // namespace ombrelay
