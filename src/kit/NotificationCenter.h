#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <vector>

namespace ombrelay {

struct Notification
{
    QString name;
    QObject* object = nullptr;  // the poster
    QVariantMap userInfo;
};

// A synchronous, main-thread notification centre: every observer has run when post() returns.
// Observers are removed automatically when the observing object is destroyed.
class NotificationCenter
{
public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // Observe `name` from `object`, or from any poster when `object` is null.
    void addObserver(QObject* observer, const QString& name, Handler handler, const QObject* object = nullptr);
    void removeObserver(QObject* observer);
    void removeObserver(QObject* observer, const QString& name);
    void post(const QString& name, QObject* object, const QVariantMap& userInfo = {});

    int observerCount(const QString& name) const;

private:
    struct Entry
    {
        QPointer<QObject> observer;
        QString name;
        const QObject* object;
        Handler handler;
        std::shared_ptr<bool> alive;
    };
    void watch(QObject* observer);
    std::vector<Entry> m_entries;
    std::vector<QObject*> m_watched;
    QObject m_lifetime;  // context of the destruction watches: they end with the centre
};

// The helpers every object of the system uses.
void listenForNotification(QObject* receiver, const QString& name, NotificationCenter::Handler handler,
                           const QObject* object = nullptr);
void postNotificationAboutSelf(QObject* self, const QString& name, const QVariantMap& userInfo = {});
// Posts on the next pass of the event loop (cancelled by stopListening on the poster).
void postNotificationAboutSelfLater(QObject* self, const QString& name);
// Removes the receiver's observations and cancels its pending performs.
void stopListening(QObject* receiver);

}  // namespace ombrelay
