#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

namespace ombrelay::test {

// A dbus-daemon of the test's own: nothing reaches the user's session bus. Connections made through it
// are closed, and the daemon stopped, when it goes away.
class PrivateSessionBus
{
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A new connection to the bus under a name unique to this bus.
    QDBusConnection connect(const QString& name);
    // Makes the bus the process's session bus (for code that reaches it through the environment, such as
    // a child process).
    void exportAsSessionBus() const;

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

}  // namespace ombrelay::test
