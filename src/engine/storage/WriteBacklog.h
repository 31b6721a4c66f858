#pragma once

#include <QObject>
#include <atomic>
#include <memory>

namespace ombrelay {

// The bytes of received blocks queued for writing, across every torrent. Past kMaxBytes peers ask for
// no more blocks (those already asked for still arrive), so a slow disk throttles the download instead
// of growing memory; `drained` tells them to ask again once half of it is written.
class WriteBacklog : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kMaxBytes = 16 << 20;

    // Made on the main thread by the first piece store.
    static WriteBacklog& instance();

    // Bytes of one queued write: counted from construction until destruction (written or dropped).
    class Entry
    {
    public:
        explicit Entry(qint64 bytes);
        ~Entry();
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

    private:
        qint64 m_bytes;
    };
    static std::shared_ptr<Entry> enter(qint64 bytes) { return std::make_shared<Entry>(bytes); }

    qint64 bytes() const { return m_bytes; }
    // The most bytes queued at once since the start.
    qint64 peakBytes() const { return m_peak; }
    // Main thread: true when no more blocks should be asked for; `drained` follows then.
    bool isFull();

signals:
    void drained();

private:
    void add(qint64 bytes);
    void remove(qint64 bytes);

    std::atomic<qint64> m_bytes{0};
    std::atomic<qint64> m_peak{0};
    std::atomic<bool> m_held{false};
};

}  // namespace ombrelay
