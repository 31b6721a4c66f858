#pragma once

#include <QDBusConnection>
#include <QString>

namespace ombrelay {

// The launcher's badge and attention request: com.canonical.Unity.LauncherEntry "Update" signals for one
// application, sent only when the count or the urgency changes.
class LauncherEntry
{
public:
    LauncherEntry(const QDBusConnection& bus, const QString& applicationUri);

    void update(qint64 count, bool urgent);

private:
    QDBusConnection m_bus;
    QString m_applicationUri;
    qint64 m_count = -1;
    bool m_urgent = false;
};

}  // namespace ombrelay
