#pragma once

#include "engine/dht/DHTIdentifier.h"
#include "engine/torrent/DhtNodeAddress.h"

namespace ombrelay {

// The queries the routing table asks for to keep itself fresh; the DHT controller sends them.
class DHTQuerySender
{
public:
    virtual ~DHTQuerySender() = default;
    virtual void sendPing(const DhtNodeAddress& endpoint) = 0;
    virtual void sendFindNode(const DhtNodeAddress& endpoint, const DHTIdentifier& target) = 0;
};

}  // namespace ombrelay
