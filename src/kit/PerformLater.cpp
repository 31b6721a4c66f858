#include "kit/PerformLater.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>

namespace ombrelay {
namespace {

struct Pending
{
    QPointer<QTimer> timer;
    QString key;
    std::function<void()> fn;
};

// Pending performs by target. Timers are children of their target, so a destroyed target takes its
// performs with it.
QHash<QObject*, QList<Pending>>& registry()
{
    static QHash<QObject*, QList<Pending>> pending;
    return pending;
}

void forget(QObject* target, QTimer* timer)
{
    auto it = registry().find(target);
    if (it == registry().end())
        return;
    it->removeIf([timer](const Pending& p) { return p.timer == timer || p.timer.isNull(); });
    if (it->isEmpty())
        registry().erase(it);
}

void start(QObject* target, std::function<void()> fn, int delayMs, const QString& key)
{
    auto* timer = new QTimer(target);
    timer->setSingleShot(true);
    registry()[target].append({timer, key, fn});
    static QSet<QObject*> watched;
    if (!watched.contains(target)) {
        watched.insert(target);
        QObject::connect(target, &QObject::destroyed, [target] {
            registry().remove(target);
            watched.remove(target);
        });
    }
    QObject::connect(timer, &QTimer::timeout, target, [target, timer, fn = std::move(fn)] {
        forget(target, timer);
        timer->deleteLater();
        fn();
    });
    timer->start(std::max(0, delayMs));
}

}  // namespace

void PerformLater::schedule(QObject* target, std::function<void()> fn, int delayMs, const QString& key)
{
    if (!key.isEmpty())
        cancel(target, key);
    start(target, std::move(fn), delayMs, key);
}

void PerformLater::scheduleOnce(QObject* target, std::function<void()> fn, int delayMs, const QString& key)
{
    if (!key.isEmpty() && isScheduled(target, key))
        return;
    start(target, std::move(fn), delayMs, key);
}

void PerformLater::cancel(QObject* target)
{
    const auto pending = registry().take(target);
    for (const auto& p : pending)
        if (p.timer)
            p.timer->deleteLater(), p.timer->stop();
}

void PerformLater::cancel(QObject* target, const QString& key)
{
    auto it = registry().find(target);
    if (it == registry().end())
        return;
    for (const auto& p : *it)
        if (p.key == key && p.timer)
            p.timer->stop(), p.timer->deleteLater();
    it->removeIf([&key](const Pending& p) { return p.key == key || p.timer.isNull(); });
    if (it->isEmpty())
        registry().erase(it);
}

int PerformLater::runPending(QObject* target)
{
    QList<Pending> due;
    for (const Pending& p : registry().value(target))
        if (p.timer && p.timer->isActive())
            due.append(p);
    for (const Pending& p : due) {
        forget(target, p.timer);
        p.timer->stop();
        p.timer->deleteLater();
    }
    for (const Pending& p : due)
        p.fn();
    return int(due.size());
}

bool PerformLater::isScheduled(QObject* target, const QString& key)
{
    const auto it = registry().constFind(target);
    if (it == registry().constEnd())
        return false;
    return std::any_of(it->begin(), it->end(),
                       [&key](const Pending& p) { return p.key == key && p.timer && p.timer->isActive(); });
}

}  // namespace ombrelay
