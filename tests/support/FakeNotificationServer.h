#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace ombrelay::test {

// org.freedesktop.Notifications on a private bus: records every notice, answers the capabilities it is
// given, and can keep every caller waiting for a reply that never comes.
class FakeNotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice
    {
        QString appName;
        QString appIcon;
        QString summary;
        QString body;
        QVariantMap hints;
    };

    FakeNotificationServer(QDBusConnection bus, QStringList capabilities, bool answers = true);

    QList<Notice> notices;
    int capabilityQuestions = 0;

public slots:
    QStringList GetCapabilities();
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);

private:
    QStringList m_capabilities;
    bool m_answers;
};

}  // namespace ombrelay::test
