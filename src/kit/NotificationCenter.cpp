#include "kit/NotificationCenter.h"

#include "kit/PerformLater.h"

#include <algorithm>

namespace ombrelay {

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

void NotificationCenter::watch(QObject* observer)
{
    if (std::find(m_watched.begin(), m_watched.end(), observer) != m_watched.end())
        return;
    m_watched.push_back(observer);
    QObject::connect(observer, &QObject::destroyed, &m_lifetime, [this, observer] {
        removeObserver(observer);
        m_watched.erase(std::remove(m_watched.begin(), m_watched.end(), observer), m_watched.end());
    });
}

void NotificationCenter::addObserver(QObject* observer, const QString& name, Handler handler,
                                     const QObject* object)
{
    Q_ASSERT(observer);
    watch(observer);
    m_entries.push_back({observer, name, object, std::move(handler), std::make_shared<bool>(true)});
}

void NotificationCenter::removeObserver(QObject* observer)
{
    for (auto& e : m_entries)
        if (e.observer == observer || e.observer.isNull())
            *e.alive = false;
    std::erase_if(m_entries, [](const Entry& e) { return !*e.alive; });
}

void NotificationCenter::removeObserver(QObject* observer, const QString& name)
{
    for (auto& e : m_entries)
        if ((e.observer == observer && e.name == name) || e.observer.isNull())
            *e.alive = false;
    std::erase_if(m_entries, [](const Entry& e) { return !*e.alive; });
}

void NotificationCenter::post(const QString& name, QObject* object, const QVariantMap& userInfo)
{
    // Observers may add or remove observers while we deliver: work on a snapshot and skip the
    // entries removed meanwhile.
    std::vector<Entry> snapshot;
    for (const auto& e : m_entries)
        if (e.name == name && (!e.object || e.object == object))
            snapshot.push_back(e);
    const Notification note{name, object, userInfo};
    for (const auto& e : snapshot)
        if (*e.alive && !e.observer.isNull())
            e.handler(note);
}

int NotificationCenter::observerCount(const QString& name) const
{
    return int(std::count_if(m_entries.begin(), m_entries.end(),
                             [&](const Entry& e) { return e.name == name && *e.alive; }));
}

void listenForNotification(QObject* receiver, const QString& name, NotificationCenter::Handler handler,
                           const QObject* object)
{
    NotificationCenter::defaultCenter().addObserver(receiver, name, std::move(handler), object);
}

void postNotificationAboutSelf(QObject* self, const QString& name, const QVariantMap& userInfo)
{
    NotificationCenter::defaultCenter().post(name, self, userInfo);
}

void postNotificationAboutSelfLater(QObject* self, const QString& name)
{
    QPointer<QObject> guard(self);
    PerformLater::schedule(self, [guard, name] {
        if (guard)
            NotificationCenter::defaultCenter().post(name, guard.data());
    });
}

void stopListening(QObject* receiver)
{
    NotificationCenter::defaultCenter().removeObserver(receiver);
    PerformLater::cancel(receiver);
}

}  // namespace ombrelay
