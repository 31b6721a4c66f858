#include "engine/peers/PeerRedials.h"

#include <algorithm>

namespace ombrelay {

bool PeerRedials::dialFailed(const PeerAddress& peer, PeerLink::Handshake failed, qint64 now, bool answered)
{
    Entry& entry = m_peers[peer];
    if (++entry.failures > (answered ? kMaxRedialsOfLivePeer : kMaxRedials)) {
        m_peers.remove(peer);
        return false;
    }
    entry.dueAt = now + std::min(kFirstDelayMs << std::min(entry.failures - 1, 16), kMaxDelayMs);
    entry.next = failed == PeerLink::Handshake::Encrypted ? PeerLink::Handshake::Plain
                                                          : PeerLink::Handshake::Encrypted;
    return true;
}

std::optional<PeerRedials::Redial> PeerRedials::takeDue(qint64 now)
{
    auto first = m_peers.end();
    for (auto it = m_peers.begin(); it != m_peers.end(); ++it)
        if (it->dueAt >= 0 && it->dueAt <= now && (first == m_peers.end() || it->dueAt < first->dueAt))
            first = it;
    if (first == m_peers.end())
        return std::nullopt;
    first->dueAt = -1;
    return Redial{first.key(), first->next};
}

void PeerRedials::putBack(const Redial& redial, qint64 now)
{
    const auto it = m_peers.find(redial.peer);
    if (it == m_peers.end())
        return;
    it->dueAt = now + kFirstDelayMs;
    it->next = redial.handshake;
}

bool PeerRedials::hasDue(qint64 now) const
{
    for (const Entry& entry : m_peers)
        if (entry.dueAt >= 0 && entry.dueAt <= now)
            return true;
    return false;
}

bool PeerRedials::isWaiting(const PeerAddress& peer) const
{
    const auto it = m_peers.constFind(peer);
    return it != m_peers.constEnd() && it->dueAt >= 0;
}

}  // namespace ombrelay
