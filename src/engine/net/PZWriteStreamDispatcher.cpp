#include "engine/net/PZWriteStreamDispatcher.h"

#include "engine/net/PZWriteStream.h"

#include <algorithm>

namespace ombrelay {

PZWriteStreamDispatcher& PZWriteStreamDispatcher::instance()
{
    static auto* dispatcher = new PZWriteStreamDispatcher;  // lives as long as the process
    return *dispatcher;
}

void PZWriteStreamDispatcher::queueLowPriorityMessage(PZWriteStream* stream)
{
    if (std::none_of(m_line.begin(), m_line.end(), [stream](const Entry& e) { return e.stream == stream; }))
        m_line.push_back({stream});
}

void PZWriteStreamDispatcher::flushStreams()
{
    if (m_inPass)
        return;
    m_inPass = true;
    // Streams that join during the pass wait for the next one.
    const size_t count = m_line.size();
    bool served = true;
    for (int round = 0; served && round < kMaxRoundsPerPass; ++round) {
        served = false;
        for (size_t i = 0; i < count; ++i) {
            PZWriteStream* stream = m_line[i].stream;
            if (!stream || (round > 0 && !stream->isRateLimited()))
                continue;
            if (stream->takeTurn() == PZWriteStream::Turn::Served) {
                m_line[i].lastServed = ++m_turns;
                served = true;
            }
        }
    }
    m_inPass = false;
    std::erase_if(m_line, [](const Entry& e) { return !e.stream || !e.stream->hasQueuedLowPriority(); });
    std::stable_sort(m_line.begin(), m_line.end(),
                     [](const Entry& a, const Entry& b) { return a.lastServed < b.lastServed; });
}

void PZWriteStreamDispatcher::removePendingMessagesForStream(PZWriteStream* stream)
{
    if (m_inPass) {
        for (Entry& entry : m_line)
            if (entry.stream == stream)
                entry.stream = nullptr;
    } else {
        std::erase_if(m_line, [stream](const Entry& e) { return e.stream == stream; });
    }
}

qsizetype PZWriteStreamDispatcher::queuedStreamCount() const
{
    return std::count_if(m_line.begin(), m_line.end(), [](const Entry& e) { return e.stream != nullptr; });
}

}  // namespace ombrelay
