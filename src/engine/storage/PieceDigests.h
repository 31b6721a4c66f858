#pragma once

#include "kit/PZCrypto.h"

#include <QByteArray>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>

namespace ombrelay {

// The SHA-1 of pieces taken from their blocks as they are written, so a completed piece needs no read
// back. Blocks that come ahead of a gap wait (sharing their bytes) until it fills; past a bound on the
// bytes waiting here, or kMaxWaitingBytesInAll across every instance, a piece's digest is given up and
// the piece is read back from its files instead. Each instance is used on one thread.
class PieceDigests
{
public:
    static constexpr qint64 kMaxWaitingBytesInAll = 16 << 20;

    explicit PieceDigests(qint64 maxWaitingBytes = 4 << 20) : m_maxWaitingBytes(maxWaitingBytes) {}
    ~PieceDigests() { clear(); }
    PieceDigests(const PieceDigests&) = delete;
    PieceDigests& operator=(const PieceDigests&) = delete;

    // A block of `piece` starting `offset` bytes into it was written.
    void add(quint32 piece, quint32 offset, const QByteArray& data);
    // The digest of the piece's first `length` bytes when every one of them was fed in one pass;
    // nothing otherwise. Forgets the piece either way.
    std::optional<QByteArray> take(quint32 piece, quint32 length);
    void forget(quint32 piece);
    // Lets the piece's waiting blocks go and takes no more of its blocks: it is read back instead.
    void giveUp(quint32 piece);
    // Gives up every piece in progress that is not wanted.
    void giveUpUnwanted(const std::function<bool(quint32 piece)>& isWanted);
    void clear();
    qint64 waitingBytes() const { return m_waitingBytes; }
    static qint64 waitingBytesInAll();

private:
    struct Digest
    {
        Sha1Hasher hasher;
        quint32 hashed = 0;  // bytes fed from the start of the piece
        bool givenUp = false;
        std::map<quint32, QByteArray> waiting;  // offset -> block ahead of a gap
    };
    void dropWaiting(Digest& digest);
    void countWaiting(qint64 bytes);

    std::unordered_map<quint32, Digest> m_digests;
    qint64 m_waitingBytes = 0;
    const qint64 m_maxWaitingBytes;
};

}  // namespace ombrelay
