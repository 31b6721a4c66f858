#pragma once

#include "engine/net/StreamCipher.h"

#include <QByteArray>
#include <deque>
#include <memory>

namespace ombrelay {

class PZSocket;

// A connection's output. High-priority messages (handshakes, requests, interest, have, bitfield,
// extension messages) go out at once and whole; low-priority messages (pieces, choke, unchoke) wait in
// this stream's queue for the dispatcher, which moves them in chunks of 4096 bytes within the upload
// budgets. Under an upload limit the queue moves only in the dispatcher's turns, so that every connection
// gets its share of the budget; without one, the socket's writable events move it as well. Bytes are
// encrypted when they are committed to the socket, in socket order; committed bytes the socket does not
// take stay at the head of the output and go first on the next writable event, so a short write never
// loses or reorders a byte. Main thread only.
class PZWriteStream
{
public:
    static constexpr qsizetype kChunkSize = 4096;
    // Low-priority messages shorter than this (choke, unchoke) skip the budgets and are not counted.
    static constexpr qsizetype kUnbudgetedBelow = 30;
    // The length, id, index and offset in front of a piece's block: sent but not counted as upload.
    static constexpr qsizetype kPieceHeaderBytes = 13;

    explicit PZWriteStream(PZSocket& socket);
    ~PZWriteStream();
    PZWriteStream(const PZWriteStream&) = delete;
    PZWriteStream& operator=(const PZWriteStream&) = delete;

    // Encrypts every later message written through the two routes.
    void setCipher(std::unique_ptr<StreamCipher> cipher);
    bool isEncrypting() const { return m_cipher != nullptr; }

    void writeHighPriorityMessage(const QByteArray& data);
    void writeLowPriorityMessage(const QByteArray& data);
    // Handshake bytes, encrypted only when `encrypt` is set (and a cipher is installed).
    void writeHandshakingMessage(const QByteArray& data, bool encrypt);

    // Moves the high-priority queue to the socket unless a piece is partly written.
    void flushStream();
    // The socket turned writable: what waits for it goes out, then queued pieces as far as the socket and
    // the budgets allow.
    void socketWritable();
    // One dispatcher pass over this stream: each queued message at most one chunk, stopping after a chunk
    // that leaves its message partly written. `bulk` keeps chunking until the socket or a budget stops it.
    void dispatchPass(bool bulk);
    // One turn of the dispatcher's rotation: at most one chunk of the head message. Served: a chunk went
    // and more is queued; Waiting: nothing could go now (a budget spent, the socket full or not open yet);
    // Done: nothing is queued any more.
    enum class Turn { Served, Waiting, Done };
    Turn takeTurn();
    // An upload budget is in force for this connection: its queue moves only in the dispatcher's turns.
    bool isRateLimited() const;
    // Drops every queued message of this stream; the socket is closing.
    void closeStream();

    bool hasPartiallyWrittenPiece() const { return m_partialPiece; }
    bool hasQueuedLowPriority() const { return !m_lowPriority.empty(); }
    qsizetype pendingHighPriorityCount() const { return qsizetype(m_pendingWrites.size()); }
    // Bytes committed to the socket that it has not taken yet.
    qsizetype unsentBytes() const { return m_out.size() - m_outHead; }
    // Something waits for the socket to accept more (rather than for a budget or a tick).
    bool waitsForSocket() const;

private:
    struct Message
    {
        QByteArray data;
        qsizetype sent = 0;
        bool encrypt = false;
    };

    void commit(const char* data, qsizetype length, bool encrypt);
    void commitPendingWrites();
    // Hands committed bytes to the socket; false when the socket failed.
    bool sendOut();
    // Writes the next chunk of the head low-priority message; false when a budget allows nothing.
    bool writeChunk();
    void afterWrite();

    PZSocket& m_socket;
    std::unique_ptr<StreamCipher> m_cipher;
    std::deque<Message> m_pendingWrites;
    std::deque<Message> m_lowPriority;
    QByteArray m_out;
    qsizetype m_outHead = 0;
    bool m_partialPiece = false;
    bool m_budgetBlocked = false;
};

}  // namespace ombrelay
