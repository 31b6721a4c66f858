#include "support/LauncherEntryListener.h"

#include <QDBusMessage>

namespace ombrelay::test {

bool LauncherEntryListener::listen(QDBusConnection bus)
{
    if (!bus.connect({}, {}, QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"), this,
                     SLOT(update(QString, QVariantMap))))
        return false;
    // A round trip: the daemon has the match rule before any update is sent.
    bus.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                            "GetId"));
    return true;
}

void LauncherEntryListener::update(const QString&, const QVariantMap& properties)
{
    counts.append(properties.value(QStringLiteral("count")).toLongLong());
    urgency.append(properties.value(QStringLiteral("urgent")).toBool());
}

}  // namespace ombrelay::test
