#pragma once

#include <QtGlobal>
#include <vector>

namespace ombrelay {

class PZWriteStream;

// The process-wide list of write streams with queued low-priority messages. Each pass (the engine's
// 0.1 s tick) first serves the streams with a partly written piece, then the others, each at most one
// chunk per message within the upload budgets. The messages themselves wait in their own stream, one
// after the other, so two messages of one connection never interleave. Main thread only.
class PZWriteStreamDispatcher
{
public:
    static PZWriteStreamDispatcher& instance();

    // The stream holds queued low-priority messages.
    void queueLowPriorityMessage(PZWriteStream* stream);
    void flushStreams();
    // Forgets the stream; safe inside a pass.
    void removePendingMessagesForStream(PZWriteStream* stream);
    qsizetype queuedStreamCount() const;

private:
    std::vector<PZWriteStream*> m_streams;
    bool m_inPass = false;
};

}  // namespace ombrelay
