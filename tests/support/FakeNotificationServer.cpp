#include "support/FakeNotificationServer.h"

namespace ombrelay::test {

FakeNotificationServer::FakeNotificationServer(QDBusConnection bus, QStringList capabilities, bool answers)
    : m_capabilities(std::move(capabilities)), m_answers(answers)
{
    bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this, QDBusConnection::ExportAllSlots);
}

QStringList FakeNotificationServer::GetCapabilities()
{
    ++capabilityQuestions;
    if (!m_answers)
        setDelayedReply(true);  // and never reply
    return m_capabilities;
}

uint FakeNotificationServer::Notify(const QString& appName, uint, const QString& appIcon, const QString& summary,
                                    const QString& body, const QStringList&, const QVariantMap& hints, int)
{
    notices.append({appName, appIcon, summary, body, hints});
    if (!m_answers)
        setDelayedReply(true);
    return uint(notices.size());
}

}  // namespace ombrelay::test
