#pragma once

#include "engine/wire/PeerWire.h"

#include <QByteArray>
#include <functional>
#include <memory>
#include <vector>

namespace ombrelay {

class TorrentSwarm;

// Accepted connections waiting for their handshake: refused from blocked addresses, at most
// kMaxUnattached at once, then handed to the swarm they name (an encrypted connection once its obfuscated
// info hash is known, a plain one by its handshake) while it has room for them, counting those that named
// it and wait for the next tick to join. Main thread only.
class IncomingPeers
{
public:
    static constexpr int kMaxUnattached = 64;

    // The swarm of the torrent taking peers whose info hash, or obfuscated info hash (SHA-1 of "req2" and
    // the info hash, as `key` says), is `hash`; or null.
    using SwarmFinder = std::function<TorrentSwarm*(const QByteArray& hash, PeerWire::TorrentKey key)>;
    // True refuses the address (network order). Default: Blocklist::instance().shouldRefuseAddress.
    using RefusalTest = std::function<bool(quint32 address)>;

    explicit IncomingPeers(SwarmFinder findSwarm, RefusalTest isRefused = {});
    ~IncomingPeers();

    // An accepted descriptor (address and port in network order). False refuses it: the caller closes it.
    bool accept(int fd, quint32 address, quint16 port, qint64 now);
    // Time-outs of the waiting wires; those that finished their handshake join their swarm.
    void tick(qint64 now);
    // The swarm goes: the waiting connections that named it end now, before their next tick could hand
    // them to it.
    void forgetSwarm(const TorrentSwarm* swarm);
    int unattachedCount() const { return int(m_waiting.size()); }

private:
    PeerWire::Resolution resolve(const QByteArray& hash, PeerWire::TorrentKey key, quint32 address);
    // Connections that named the swarm and wait to join it.
    int waitingFor(const TorrentSwarm* swarm) const;
    void attachReady();

    SwarmFinder m_findSwarm;
    RefusalTest m_isRefused;
    std::vector<std::shared_ptr<PeerWire>> m_waiting;
    std::vector<std::shared_ptr<PeerWire>> m_finished;  // ended by forgetSwarm; released on the next tick
};

}  // namespace ombrelay
