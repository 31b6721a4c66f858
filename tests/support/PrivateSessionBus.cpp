#include "support/PrivateSessionBus.h"

#include <QAtomicInt>

namespace ombrelay::test {

PrivateSessionBus::PrivateSessionBus()
{
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (m_daemon.waitForStarted(5000) && m_daemon.waitForReadyRead(5000))
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateSessionBus::~PrivateSessionBus()
{
    for (const QString& name : m_connections)
        QDBusConnection::disconnectFromBus(name);
    m_daemon.kill();
    m_daemon.waitForFinished(5000);
}

QDBusConnection PrivateSessionBus::connect(const QString& name)
{
    static QAtomicInt serial;
    const QString unique = QStringLiteral("%1-%2").arg(name).arg(serial.fetchAndAddRelaxed(1));
    m_connections.append(unique);
    return QDBusConnection::connectToBus(m_address, unique);
}

void PrivateSessionBus::exportAsSessionBus() const
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
}

}  // namespace ombrelay::test
