#include "engine/dht/DHTService.h"
#include "engine/core/BTCore.h"
#include "engine/core/EngineHost.h"
#include "engine/torrent/TorrentLine.h"

namespace ombrelay {

DHTService::DHTService(BTCore& core, QObject* parent)
    : DHTService(std::make_unique<DHTController>(
                     core.udpSocket() >= 0 ? std::make_unique<DHTSocket>(core.udpSocket()) : nullptr),
                 parent)
{
    connect(&core, &BTCore::udpSocketChanged, m_controller.get(), &DHTController::useSocketDescriptor);
}

DHTService::DHTService(std::unique_ptr<DHTController> controller, QObject* parent)
    : QObject(parent), m_controller(std::move(controller))
{
    m_controller->setSearchContinues([](const QByteArray& infoHash) {
        return wantsPeers(EngineHost::instance().torrentForInfoHash(infoHash).get());
    });
    DhtService::install(this);
}

DHTService::~DHTService()
{
    DhtService::install(nullptr);
}

bool DHTService::wantsPeers(const TorrentLine* torrent)
{
    return torrent && (torrent->downloadState() == TorrentLine::Downloading || torrent->isSeeding());
}

void DHTService::findPeersForTorrent(TorrentLine& torrent)
{
    m_controller->findPeers(torrent.infoHash(), torrent.dhtNodes());
}

void DHTService::addNodes(const QList<DhtNodeAddress>& nodes)
{
    for (const DhtNodeAddress& node : nodes)
        m_controller->pingNode(node);
}

}  // namespace ombrelay
