#include "engine/peers/EngineServices.h"

#include "engine/core/TrackerService.h"
#include "engine/dht/DHTService.h"
#include "engine/tracker/HttpTrackerService.h"

namespace ombrelay {

EngineServices::EngineServices(BTCore& core, std::function<qint64()> peersClock)
    : m_peers(std::make_unique<EnginePeerService>([&core] { return core.publicPort(); }, nullptr,
                                                  std::move(peersClock))),
      m_trackers(std::make_unique<HttpTrackerService>(*m_peers)),
      m_dht(std::make_unique<DHTService>(core))
{
    TrackerService::install(m_trackers.get());
    EnginePeerService* peers = m_peers.get();
    QObject::connect(&m_dht->controller(), &DHTController::peersFound, peers,
                     [peers](const QByteArray& infoHash, const QByteArray& compact) {
                         peers->addCompactPeers(infoHash, compact);
                     });
}

EngineServices::~EngineServices()
{
    TrackerService::install(nullptr);
}

void EngineServices::addHooks(BTCore::Hooks& hooks)
{
    EnginePeerService* peers = m_peers.get();
    hooks.acceptIncomingPeer = [peers](int fd, quint32 address, quint16 port) {
        return peers->acceptIncomingPeer(fd, address, port);
    };
}

std::unique_ptr<EngineServices> installEngineServices(BTCore& core, BTCore::Hooks& hooks,
                                                     std::function<qint64()> peersClock)
{
    auto services = std::make_unique<EngineServices>(core, std::move(peersClock));
    services->addHooks(hooks);
    return services;
}

}  // namespace ombrelay
