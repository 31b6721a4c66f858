#include "engine/storage/WriteBacklog.h"

namespace ombrelay {

WriteBacklog& WriteBacklog::instance()
{
    static auto* backlog = new WriteBacklog;  // lives as long as the process
    return *backlog;
}

WriteBacklog::Entry::Entry(qint64 bytes) : m_bytes(bytes)
{
    instance().add(bytes);
}

WriteBacklog::Entry::~Entry()
{
    instance().remove(m_bytes);
}

bool WriteBacklog::isFull()
{
    if (m_bytes.load() < kMaxBytes)
        return false;
    m_held = true;
    // Drained meanwhile on the store queue, before the hold was seen there: tell at once.
    if (m_bytes.load() <= kMaxBytes / 2 && m_held.exchange(false))
        QMetaObject::invokeMethod(this, &WriteBacklog::drained, Qt::QueuedConnection);
    return true;
}

void WriteBacklog::add(qint64 bytes)
{
    const qint64 now = m_bytes += bytes;
    qint64 peak = m_peak.load();
    while (now > peak && !m_peak.compare_exchange_weak(peak, now)) {
    }
}

void WriteBacklog::remove(qint64 bytes)
{
    const qint64 now = m_bytes -= bytes;
    if (now <= kMaxBytes / 2 && m_held.load() && m_held.exchange(false))
        QMetaObject::invokeMethod(this, &WriteBacklog::drained, Qt::QueuedConnection);
}

}  // namespace ombrelay
