#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace ombrelay {

// Delayed calls keyed by their target object: cancellable one by one (by key) or all at once,
// and dropped when the target is destroyed. The stand-in for delayed performs on the main run loop.
class PerformLater
{
public:
    // Runs `fn` after `delayMs` on the target's thread. A non-empty key replaces a pending perform
    // of the same target and key, so several requests coalesce into one call.
    static void schedule(QObject* target, std::function<void()> fn, int delayMs = 0, const QString& key = {});
    // Like schedule, but keeps an already pending perform of the same key instead of replacing it.
    static void scheduleOnce(QObject* target, std::function<void()> fn, int delayMs = 0, const QString& key = {});
    static void cancel(QObject* target);
    static void cancel(QObject* target, const QString& key);
    static bool isScheduled(QObject* target, const QString& key);
    // The clock for tests: runs the target's pending performs at once, in the order they were
    // scheduled, as their delays would; answers how many ran.
    static int runPending(QObject* target);
};

}  // namespace ombrelay
