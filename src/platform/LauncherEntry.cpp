#include "platform/LauncherEntry.h"

#include <QDBusMessage>

namespace ombrelay {

LauncherEntry::LauncherEntry(const QDBusConnection& bus, const QString& applicationUri)
    : m_bus(bus), m_applicationUri(applicationUri)
{
}

void LauncherEntry::update(qint64 count, bool urgent)
{
    if (count == m_count && urgent == m_urgent)
        return;
    m_count = count;
    m_urgent = urgent;
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/com/canonical/unity/launcherentry/ombrelay"),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("count"), count);
    properties.insert(QStringLiteral("count-visible"), count > 0);
    properties.insert(QStringLiteral("urgent"), urgent);
    signal << m_applicationUri << properties;
    m_bus.send(signal);
}

}  // namespace ombrelay
