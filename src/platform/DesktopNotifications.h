#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace ombrelay {

// Notices through the freedesktop notification server (org.freedesktop.Notifications). Every call is
// asynchronous: a missing or hung server delays nothing. The server's capabilities are asked once; notices
// posted before they are known wait for the answer (or its time-out), so that a body is escaped exactly
// when the server reads markup.
class DesktopNotifications : public QObject
{
    Q_OBJECT
public:
    struct Sender
    {
        QString appName;
        QString appIcon;
        QString desktopEntry;
    };
    static constexpr int kTimeoutMs = 2000;

    DesktopNotifications(const QDBusConnection& bus, Sender sender, QObject* parent = nullptr);

    void notify(const QString& summary, const QString& body, const QString& category);
    bool capabilitiesKnown() const { return m_capabilitiesKnown; }
    bool readsMarkup() const { return m_capabilities.contains(QStringLiteral("body-markup")); }

private:
    struct Notice
    {
        QString summary;
        QString body;
        QString category;
    };
    void capabilitiesArrived(const QStringList& capabilities);
    void send(const Notice& notice);

    QDBusConnection m_bus;
    Sender m_sender;
    QStringList m_capabilities;
    bool m_capabilitiesKnown = false;
    QList<Notice> m_waiting;
};

}  // namespace ombrelay
