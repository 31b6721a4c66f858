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
    if (std::find(m_streams.begin(), m_streams.end(), stream) == m_streams.end())
        m_streams.push_back(stream);
}

void PZWriteStreamDispatcher::flushStreams()
{
    if (m_inPass)
        return;
    m_inPass = true;
    const size_t count = m_streams.size();
    std::vector<bool> hadPartialPiece(count);
    for (size_t i = 0; i < count; ++i)
        hadPartialPiece[i] = m_streams[i] && m_streams[i]->hasPartiallyWrittenPiece();
    for (int phase = 0; phase < 2; ++phase) {
        for (size_t i = 0; i < count; ++i) {
            if (m_streams[i] && hadPartialPiece[i] == (phase == 0))
                m_streams[i]->dispatchPass(false);
        }
    }
    m_inPass = false;
    m_streams.erase(std::remove_if(m_streams.begin(), m_streams.end(),
                                   [](PZWriteStream* s) { return !s || !s->hasQueuedLowPriority(); }),
                    m_streams.end());
}

void PZWriteStreamDispatcher::removePendingMessagesForStream(PZWriteStream* stream)
{
    if (m_inPass)
        std::replace(m_streams.begin(), m_streams.end(), stream, static_cast<PZWriteStream*>(nullptr));
    else
        m_streams.erase(std::remove(m_streams.begin(), m_streams.end(), stream), m_streams.end());
}

qsizetype PZWriteStreamDispatcher::queuedStreamCount() const
{
    return std::count_if(m_streams.begin(), m_streams.end(), [](PZWriteStream* s) { return s != nullptr; });
}

}  // namespace ombrelay
