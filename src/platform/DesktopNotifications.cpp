#include "platform/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace ombrelay {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage serverCall(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

}  // namespace

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, Sender sender, QObject* parent)
    : QObject(parent), m_bus(bus), m_sender(std::move(sender))
{
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(serverCall(QStringLiteral("GetCapabilities")), kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QStringList> reply = *call;
        capabilitiesArrived(reply.isValid() ? reply.value() : QStringList());
    });
}

void DesktopNotifications::notify(const QString& summary, const QString& body, const QString& category)
{
    Notice notice{summary, body, category};
    if (m_capabilitiesKnown)
        send(notice);
    else
        m_waiting.append(std::move(notice));
}

void DesktopNotifications::capabilitiesArrived(const QStringList& capabilities)
{
    m_capabilities = capabilities;
    m_capabilitiesKnown = true;
    for (const Notice& notice : std::exchange(m_waiting, {}))
        send(notice);
}

void DesktopNotifications::send(const Notice& notice)
{
    QDBusMessage call = serverCall(QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), m_sender.desktopEntry);
    if (!notice.category.isEmpty())
        hints.insert(QStringLiteral("category"), notice.category);
    // Names come from torrents: a server that reads markup must see them as text.
    const QString body = readsMarkup() ? notice.body.toHtmlEscaped() : notice.body;
    call << m_sender.appName << uint(0) << m_sender.appIcon << notice.summary << body << QStringList() << hints
         << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* reply) {
        reply->deleteLater();
        if (reply->isError())
            fprintf(stderr, "*** notice not shown: %s\n", qPrintable(reply->error().message()));
    });
}

}  // namespace ombrelay
