#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <functional>
#include <mutex>

namespace ombrelay {

class SerialQueue;

// Writes small files (the torrents' state files) atomically on a queue of its own, so the main thread
// never waits for a disk. Asks for one path that pile up before its write runs give one write, of the
// last bytes asked; a file that holds those bytes already is left alone (nothing written, nothing
// synced). A failed write is told on the main thread, to the call that asked last.
class StateFileWriter
{
public:
    using Failed = std::function<void(const QString& error)>;

    StateFileWriter() = default;
    ~StateFileWriter();  // writes what is queued first
    StateFileWriter(const StateFileWriter&) = delete;
    StateFileWriter& operator=(const StateFileWriter&) = delete;

    // Main thread.
    void write(const QString& path, const QByteArray& bytes, Failed failed = {});
    // Returns once every write asked for before the call is on disk or has failed.
    void drain();

    static SerialQueue& queue();

private:
    struct Pending
    {
        QByteArray bytes;
        Failed failed;
    };
    void writeOnQueue(const QString& path);

    std::mutex m_lock;
    QHash<QString, Pending> m_pending;  // under m_lock
    QObject m_mainThread;               // receives failures; gone with the writer
};

}  // namespace ombrelay
