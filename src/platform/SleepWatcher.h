#pragma once

#include <QObject>

namespace ombrelay {

// Tells when the computer woke from sleep. The base emits nothing by itself; tests emit didWake.
class SleepWatcher : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void didWake();
};

}  // namespace ombrelay
