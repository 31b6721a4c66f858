#pragma once

#include "engine/core/DhtService.h"
#include "engine/dht/DHTController.h"

#include <QObject>
#include <memory>

namespace ombrelay {

class BTCore;

// The DHT as the torrent model sees it. It installs itself as the DhtService while it lives. A started
// torrent's metainfo nodes are pinged and seed its lookup; the lookup repeats every 15 to 30 minutes
// while the torrent downloads or seeds. Peers arrive by controller().peersFound.
class DHTService : public QObject, public DhtService
{
    Q_OBJECT
public:
    // The engine's DHT: on the core's UDP socket, following it when the port is rebound.
    explicit DHTService(BTCore& core, QObject* parent = nullptr);
    explicit DHTService(std::unique_ptr<DHTController> controller, QObject* parent = nullptr);
    ~DHTService() override;

    DHTController& controller() { return *m_controller; }

    void findPeersForTorrent(TorrentLine& torrent) override;
    void addNodes(const QList<DhtNodeAddress>& nodes) override;

    // Downloading or seeding.
    static bool wantsPeers(const TorrentLine* torrent);

private:
    std::unique_ptr<DHTController> m_controller;
};

}  // namespace ombrelay
