#include "platform/LogindSleepWatcher.h"

namespace ombrelay {

LogindSleepWatcher::LogindSleepWatcher(QObject* parent) : LogindSleepWatcher(QDBusConnection::systemBus(), parent) {}

LogindSleepWatcher::LogindSleepWatcher(const QDBusConnection& bus, QObject* parent) : SleepWatcher(parent)
{
    QDBusConnection connection(bus);
    m_listening = connection.isConnected()
        && connection.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                              QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                              this, SLOT(prepareForSleep(bool)));
}

void LogindSleepWatcher::prepareForSleep(bool starting)
{
    if (!starting)
        emit didWake();
}

}  // namespace ombrelay
