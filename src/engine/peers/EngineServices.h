#pragma once

#include "engine/core/BTCore.h"
#include "engine/peers/EnginePeerService.h"

#include <memory>

namespace ombrelay {

class DHTService;
class HttpTrackerService;

// The engine's network services, made and installed together at start-up: the peer connections, the
// HTTP trackers (told our peer id, their peers going to the torrents' peers) and the DHT (its peers
// going the same way). Uninstalled when destroyed. Main thread only.
class EngineServices
{
public:
    // `peersClock`: the clock of the peer connections and their manager (EnginePeerService), by default a
    // steady one.
    explicit EngineServices(BTCore& core, std::function<qint64()> peersClock = {});
    ~EngineServices();

    EnginePeerService& peers() { return *m_peers; }
    DHTService& dht() { return *m_dht; }
    // Fills the core's incoming-connection hook: blocklist refusal, a cap on connections waiting for
    // their handshake, attachment by info hash.
    void addHooks(BTCore::Hooks& hooks);

private:
    std::unique_ptr<EnginePeerService> m_peers;
    std::unique_ptr<HttpTrackerService> m_trackers;
    std::unique_ptr<DHTService> m_dht;
};

// Makes and installs the engine's services and fills `hooks.acceptIncomingPeer`; the caller hands the
// hooks to the core.
std::unique_ptr<EngineServices> installEngineServices(BTCore& core, BTCore::Hooks& hooks,
                                                     std::function<qint64()> peersClock = {});

}  // namespace ombrelay
