#pragma once

#include <QtGlobal>
#include <vector>

namespace ombrelay {

class PZWriteStream;

// The process-wide line of write streams with queued low-priority messages. Each pass (the engine's
// 0.1 s tick) goes round the line: in each round every stream writes one chunk of its oldest message
// within the upload budgets, and rounds go on while a stream under a limit can still write. Then the line
// is put in the order of the last chunk each stream wrote, so those that got nothing before the budget
// ran out go first next time and no stream is always served first. A stream without any limit takes one
// turn per pass; its socket's writable events move the rest. The messages themselves wait in their own
// stream, one after the other, so two messages of one connection never interleave. Main thread only.
class PZWriteStreamDispatcher
{
public:
    // Bounds one pass: at most this many chunks per stream.
    static constexpr int kMaxRoundsPerPass = 4096;

    static PZWriteStreamDispatcher& instance();

    // The stream holds queued low-priority messages.
    void queueLowPriorityMessage(PZWriteStream* stream);
    void flushStreams();
    // Forgets the stream; safe inside a pass.
    void removePendingMessagesForStream(PZWriteStream* stream);
    qsizetype queuedStreamCount() const;

private:
    struct Entry
    {
        PZWriteStream* stream;  // null once forgotten during a pass
        quint64 lastServed = 0;  // the turn of its last chunk; 0: none yet
    };

    std::vector<Entry> m_line;
    quint64 m_turns = 0;
    bool m_inPass = false;
};

}  // namespace ombrelay
