#include "engine/peers/IncomingPeers.h"

#include "engine/blocklist/Blocklist.h"
#include "engine/peers/TorrentSwarm.h"
#include "engine/wire/PeerWire.h"

#include <QtEndian>
#include <algorithm>

namespace ombrelay {

IncomingPeers::IncomingPeers(SwarmFinder findSwarm, RefusalTest isRefused)
    : m_findSwarm(std::move(findSwarm)), m_isRefused(std::move(isRefused))
{
    if (!m_isRefused)
        m_isRefused = [](quint32 address) { return Blocklist::instance().shouldRefuseAddress(address); };
}

IncomingPeers::~IncomingPeers()
{
    for (const auto& wire : m_waiting)
        wire->setEndedHandler({});
}

bool IncomingPeers::accept(int fd, quint32 address, quint16 port, qint64 now)
{
    if (m_isRefused(address) || unattachedCount() >= kMaxUnattached)
        return false;
    std::shared_ptr<PeerWire> wire = PeerWire::adoptIncoming(
        fd, qFromBigEndian(address), qFromBigEndian(port),
        [this, address](const QByteArray& hash, PeerWire::TorrentKey key) {
            return resolve(hash, key, address);
        },
        now);
    wire->setEndedHandler([this](PeerWire& ended) {
        std::erase_if(m_waiting, [&](const auto& w) { return w.get() == &ended; });
    });
    m_waiting.push_back(std::move(wire));
    return true;
}

PeerWire::Resolution IncomingPeers::resolve(const QByteArray& hash, PeerWire::TorrentKey key, quint32 address)
{
    TorrentSwarm* swarm = m_findSwarm(hash, key);
    if (!swarm)
        return {};
    // Refused before it hears our handshake.
    if (swarm->peers().isBanned(address))
        return PeerWire::Resolution::refused(QStringLiteral("banned for sending bad data"));
    // The connections answered and waiting for the next tick to join hold their places already.
    if (swarm->peers().numberOfAvailablePeerSlots() <= waitingFor(swarm))
        return PeerWire::Resolution::refused(QStringLiteral("no room for the connection"));
    return swarm;
}

int IncomingPeers::waitingFor(const TorrentSwarm* swarm) const
{
    return int(std::count_if(m_waiting.begin(), m_waiting.end(), [swarm](const auto& wire) {
        return !wire->hasEnded() && wire->torrent() == static_cast<const PeerTorrent*>(swarm);
    }));
}

void IncomingPeers::tick(qint64 now)
{
    m_finished.clear();
    const auto waiting = m_waiting;
    for (const auto& wire : waiting)
        wire->tick(now);
    attachReady();
}

void IncomingPeers::forgetSwarm(const TorrentSwarm* swarm)
{
    const auto named = std::stable_partition(m_waiting.begin(), m_waiting.end(), [swarm](const auto& wire) {
        return static_cast<const PeerTorrent*>(swarm) != wire->torrent();
    });
    std::vector<std::shared_ptr<PeerWire>> ending(named, m_waiting.end());
    m_waiting.erase(named, m_waiting.end());
    for (const auto& wire : ending) {
        wire->setEndedHandler({});
        wire->end(QStringLiteral("its torrent stopped taking peers"));
        m_finished.push_back(wire);
    }
}

void IncomingPeers::attachReady()
{
    auto ready = std::stable_partition(m_waiting.begin(), m_waiting.end(),
                                       [](const auto& wire) { return wire->torrent() == nullptr; });
    std::vector<std::shared_ptr<PeerWire>> attached(ready, m_waiting.end());
    m_waiting.erase(ready, m_waiting.end());
    for (const auto& wire : attached) {
        wire->setEndedHandler({});
        auto* swarm = static_cast<TorrentSwarm*>(wire->torrent());
        if (!swarm->attachIncoming(wire))
            wire->end(QStringLiteral("no room for the connection"));
    }
}

}  // namespace ombrelay
