#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <functional>
#include <mutex>
#include <optional>

namespace ombrelay {

class SerialQueue;

// Writes small files (the torrents' state and bitfield files) atomically on a queue of its own, so the
// main thread never waits for a disk. Asks for one path that pile up before their write give one write,
// of the last bytes asked; a file that holds those bytes already is left alone (nothing written, nothing
// synced), and a file asked to be absent is removed. What is asked while a batch is written goes out in
// the next batch, whose files share their syncs (AtomicFile::applyAll), so a quit or the adding of
// thousands of torrents costs a few syncs, not two per file. A failed write is told on the main thread,
// to the call that asked last. One writer serves the process.
class StateFileWriter
{
public:
    using Failed = std::function<void(const QString& error)>;

    static StateFileWriter& instance();  // made on the main thread
    StateFileWriter(const StateFileWriter&) = delete;
    StateFileWriter& operator=(const StateFileWriter&) = delete;

    // Main thread. `bytes` none: the file must not exist. `failed` must guard whatever it reaches, as it
    // may run after its asker is gone.
    void write(const QString& path, std::optional<QByteArray> bytes, Failed failed = {});
    // Returns once every write asked for before the call is on disk or has failed.
    void drain();

    static SerialQueue& queue();

private:
    StateFileWriter();
    ~StateFileWriter();  // writes what is queued first

    struct Pending
    {
        std::optional<QByteArray> bytes;
        Failed failed;
        quint64 asked;  // when last asked, in the order of asks
    };
    void writePendingOnQueue();

    std::mutex m_lock;
    QHash<QString, Pending> m_pending;  // under m_lock
    quint64 m_asks = 0;                 // under m_lock
    QObject m_mainThread;               // receives failures
};

}  // namespace ombrelay
