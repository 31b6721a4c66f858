#include "support/FakeStatusNotifierWatcher.h"

#include <QDBusMessage>

namespace ombrelay::test {

FakeStatusNotifierWatcher::FakeStatusNotifierWatcher(QDBusConnection bus)
{
    bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
    bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

void FakeStatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service)
{
    // An item may give its object path instead of its name: the caller's name is the item then.
    m_items.append(service.startsWith(QLatin1Char('/')) ? message().service() : service);
}

}  // namespace ombrelay::test
