#pragma once

#include "engine/dht/DHTIdentifier.h"
#include "engine/torrent/DhtNodeAddress.h"

#include <QString>
#include <memory>

namespace ombrelay {

// One remote DHT node: its id, its UDP address and when it last talked to us. Times are seconds since
// the Unix epoch, 0 for never.
class DHTNode
{
public:
    static constexpr qint64 kGoodSeconds = 900;

    DHTNode(const DHTIdentifier& id, const DhtNodeAddress& endpoint) : m_id(id), m_endpoint(endpoint) {}

    static qint64 now();  // the clock every node time is read against

    const DHTIdentifier& nodeID() const { return m_id; }
    const DhtNodeAddress& endpoint() const { return m_endpoint; }
    QString hostString() const { return m_endpoint.toString(); }

    qint64 firstResponse() const { return m_firstResponse; }
    qint64 lastResponse() const { return m_lastResponse; }
    qint64 lastRequest() const { return m_lastRequest; }
    void setFirstResponse(qint64 t) { m_firstResponse = t; }
    void setLastResponse(qint64 t) { m_lastResponse = t; }
    void setLastRequest(qint64 t) { m_lastRequest = t; }

    void noteQueryReceived(qint64 when)
    {
        m_lastRequest = when;
        touch(when);
    }
    void noteReplyReceived(qint64 when);

    // Answered within 900 s, or queried us within 900 s having answered at least once.
    bool isGood(qint64 when) const;
    bool isQuestionable(qint64 when) const { return !isGood(when); }

    // When the node was last heard of, for dropping the least recently seen from the node cache.
    qint64 lastSeen() const { return m_lastSeen; }
    void touch(qint64 when) { m_lastSeen = std::max(m_lastSeen, when); }

    bool isInBucket() const { return m_inBucket; }
    void setInBucket(bool inBucket) { m_inBucket = inBucket; }

private:
    DHTIdentifier m_id;
    DhtNodeAddress m_endpoint;
    qint64 m_firstResponse = 0;
    qint64 m_lastResponse = 0;
    qint64 m_lastRequest = 0;
    qint64 m_lastSeen = 0;
    bool m_inBucket = false;
};

using DHTNodePtr = std::shared_ptr<DHTNode>;

// A node address worth talking to: a port, and an address outside 0.0.0.0/8 and 224.0.0.0/3.
bool isUsableNodeEndpoint(const DhtNodeAddress& endpoint);

// One number per address and port, for sets and maps of endpoints.
inline quint64 endpointKey(const DhtNodeAddress& endpoint)
{
    return (quint64(endpoint.address) << 16) | endpoint.port;
}

}  // namespace ombrelay
