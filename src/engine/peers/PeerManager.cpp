#include "engine/peers/PeerManager.h"

#include "engine/peers/TorrentPeers.h"

#include <QRandomGenerator>

namespace ombrelay {

PeerManager::PeerManager(Torrents torrents, Random random)
    : m_torrents(std::move(torrents)), m_random(std::move(random))
{
    if (!m_random)
        m_random = [](int bound) { return int(QRandomGenerator::global()->bounded(bound)); };
}

int PeerManager::connectToPeers()
{
    QList<TorrentPeers*> candidates = m_torrents();
    int connecting = 0;
    int active = 0;
    for (TorrentPeers* torrent : candidates) {
        connecting += torrent->numberOfConnectingPeers();
        active += torrent->numberOfActivePeers();
        if (connecting > kMaxConnecting || active > kMaxActive)
            return 0;
    }
    // Each turn either opens a connection (at most kMaxConnecting) or takes a torrent out of the draw.
    int dialled = 0;
    while (!candidates.isEmpty() && connecting < kMaxConnecting) {
        const int pick = m_random(int(candidates.size()));
        TorrentPeers* torrent = candidates[pick];
        if (torrent->numberOfAvailablePeerSlots() > 0 && torrent->connectToOnePeer()) {
            ++connecting;
            ++dialled;
        } else {
            candidates.removeAt(pick);
        }
    }
    return dialled;
}

}  // namespace ombrelay
