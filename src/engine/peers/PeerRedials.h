#pragma once

#include "engine/peers/PeerLink.h"

#include <QHash>
#include <optional>

namespace ombrelay {

// The bounded redial of dialled peers whose connection failed before any message (refused, reset, no
// handshake in time, a stalled encryption handshake): up to kMaxRedials more attempts, the first
// kFirstDelayMs after the failure and each later one after twice the previous wait, at most kMaxDelayMs.
// A peer whose host took the connection and closed it is alive, only not ready for us (a client that
// restarted and is still loading or checking its data, or one that is full): it gets up to
// kMaxRedialsOfLivePeer, a quarter of an hour of attempts. Each redial uses the other handshake than the
// attempt that failed: a peer that stalled in the encryption handshake gets a plain one, a peer that
// dropped a plain one gets encryption again. Main thread only.
class PeerRedials
{
public:
    static constexpr int kMaxRedials = 3;
    static constexpr int kMaxRedialsOfLivePeer = 10;
    static constexpr qint64 kFirstDelayMs = 3'000;
    static constexpr qint64 kMaxDelayMs = 180'000;

    struct Redial
    {
        PeerAddress peer;
        PeerLink::Handshake handshake = PeerLink::Handshake::Encrypted;
    };

    // A dial of the peer failed with `failed`; `answered`: its host had taken the connection. True:
    // another attempt waits for its time. False: its attempts are spent and the peer is forgotten.
    bool dialFailed(const PeerAddress& peer, PeerLink::Handshake failed, qint64 now, bool answered = false);
    // The waiting peer whose time came first, taken out of the wait; its count of failures stays until
    // forget. None when no wait is over.
    std::optional<Redial> takeDue(qint64 now);
    // A redial taken that could not start for a reason of ours: due again kFirstDelayMs later (stored
    // peers are dialled meanwhile), its count unchanged.
    void putBack(const Redial& redial, qint64 now);
    bool hasDue(qint64 now) const;
    bool isWaiting(const PeerAddress& peer) const;
    // The peer got through (or goes for another reason): a later failure starts a fresh count.
    void forget(const PeerAddress& peer) { m_peers.remove(peer); }
    void clear() { m_peers.clear(); }

private:
    struct Entry
    {
        int failures = 0;
        qint64 dueAt = -1;  // -1: being dialled, not waiting
        PeerLink::Handshake next = PeerLink::Handshake::Encrypted;
    };

    QHash<PeerAddress, Entry> m_peers;
};

}  // namespace ombrelay
