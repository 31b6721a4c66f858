#pragma once

#include <QObject>

class QSocketNotifier;

namespace ombrelay {

// SIGTERM, SIGINT and SIGHUP turned into a signal on the main loop, so that they run the normal quit
// path (state written, disk queue emptied) instead of ending the process where it stands.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace ombrelay
