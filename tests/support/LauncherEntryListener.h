#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

namespace ombrelay::test {

// Records the launcher-entry updates sent on a bus, as a desktop's launcher would receive them.
class LauncherEntryListener : public QObject
{
    Q_OBJECT
public:
    // False when the match could not be set up; the match is in place once this returns.
    bool listen(QDBusConnection bus);

    QList<qint64> counts;
    QList<bool> urgency;

public slots:
    void update(const QString& application, const QVariantMap& properties);
};

}  // namespace ombrelay::test
