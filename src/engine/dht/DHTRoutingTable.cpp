#include "engine/dht/DHTRoutingTable.h"

#include <QSet>
#include <algorithm>

namespace ombrelay {

DHTRoutingTable::DHTRoutingTable(const DHTIdentifier& ownID, DHTQuerySender& sender)
    : m_ownID(ownID), m_sender(sender)
{
    m_buckets.append(DHTBucket(DHTIdentifier::minIdentifier(), DHTIdentifier::maxIdentifier()));
}

int DHTRoutingTable::bucketIndexForIdentifier(const DHTIdentifier& id) const
{
    // Buckets cover the space in ascending order: the last one whose lower bound is <= id.
    const auto after = std::upper_bound(m_buckets.begin(), m_buckets.end(), id,
                                        [](const DHTIdentifier& v, const DHTBucket& b) { return v < b.lower(); });
    return int(after - m_buckets.begin()) - 1;
}

const DHTBucket& DHTRoutingTable::bucketForIdentifier(const DHTIdentifier& id) const
{
    return m_buckets[bucketIndexForIdentifier(id)];
}

QList<int> DHTRoutingTable::bucketsNearestTo(const DHTIdentifier& id) const
{
    const int index = bucketIndexForIdentifier(id);
    QList<int> order{index};
    for (int step = 1; index - step >= 0 || index + step < m_buckets.size(); ++step) {
        if (index - step >= 0)
            order.append(index - step);
        if (index + step < m_buckets.size())
            order.append(index + step);
    }
    return order;
}

QList<DHTNodePtr> DHTRoutingTable::nodesClosestTo(const DHTIdentifier& id) const
{
    const qint64 now = DHTNode::now();
    const QList<int> order = bucketsNearestTo(id);
    QList<DHTNodePtr> closest;
    QSet<DHTNode*> taken;
    const auto take = [&](const QList<DHTNodePtr>& nodes) {
        for (const DHTNodePtr& node : nodes)
            if (!taken.contains(node.get())) {
                taken.insert(node.get());
                closest.append(node);
            }
    };
    for (int index : order) {
        if (closest.size() > kClosestNodes)
            break;
        take(m_buckets[index].goodNodes(now));
    }
    for (int index : order) {
        if (closest.size() > kClosestNodes)
            break;
        take(m_buckets[index].questionableNodes(now));
    }
    if (closest.size() < kClosestNodes)
        take(m_allNodes.values());
    return closest;
}

bool DHTRoutingTable::splitBucket(int index)
{
    DHTBucket& bucket = m_buckets[index];
    const DHTIdentifier middle = DHTIdentifier::between(bucket.lower(), bucket.upper());
    if (middle == bucket.lower() || middle == bucket.upper())
        return false;
    DHTBucket upperHalf(middle, bucket.upper());
    bucket.setUpper(middle);
    QList<DHTNodePtr>& nodes = bucket.nodes();
    for (auto it = nodes.begin(); it != nodes.end();) {
        if (upperHalf.rangeIncludesIdentifier((*it)->nodeID())) {
            upperHalf.nodes().append(*it);
            it = nodes.erase(it);
        } else {
            ++it;
        }
    }
    m_buckets.insert(index + 1, std::move(upperHalf));
    return true;
}

void DHTRoutingTable::insertIntoBucket(DHTBucket& bucket, const DHTNodePtr& node)
{
    bucket.nodes().append(node);
    node->setInBucket(true);
    m_allNodes.insert(node->nodeID(), node);
}

void DHTRoutingTable::addNode(const DHTNodePtr& node)
{
    const qint64 now = DHTNode::now();
    if (!node->isGood(now))
        return;
    const int index = bucketIndexForIdentifier(node->nodeID());
    DHTBucket& bucket = m_buckets[index];
    if (bucket.contains(node))
        return;
    if (bucket.goodNodes(now).size() < DHTBucket::K) {
        // A full bucket gives up its least recently seen questionable node, so buckets stay at K nodes.
        if (bucket.nodes().size() >= DHTBucket::K) {
            const QList<DHTNodePtr> questionable = bucket.questionableNodes(now);
            const DHTNodePtr stale = *std::min_element(
                questionable.begin(), questionable.end(),
                [](const DHTNodePtr& a, const DHTNodePtr& b) { return a->lastSeen() < b->lastSeen(); });
            bucket.nodes().removeOne(stale);
            stale->setInBucket(false);
        }
        insertIntoBucket(bucket, node);
        if (moreNodesAreDesired())
            m_sender.sendFindNode(node->endpoint(), node->nodeID());
        return;
    }
    if (bucket.rangeIncludesIdentifier(m_ownID) && splitBucket(index))
        addNode(node);
}

void DHTRoutingTable::addNodeFromStorage(const DHTNodePtr& node)
{
    const int index = bucketIndexForIdentifier(node->nodeID());
    DHTBucket& bucket = m_buckets[index];
    if (bucket.contains(node))
        return;
    if (bucket.nodes().size() < DHTBucket::K) {
        insertIntoBucket(bucket, node);
        return;
    }
    if (bucket.rangeIncludesIdentifier(m_ownID) && splitBucket(index))
        addNodeFromStorage(node);
}

QList<DHTNodePtr> DHTRoutingTable::nodesByGoodness(bool good) const
{
    const qint64 now = DHTNode::now();
    QList<DHTNodePtr> chosen;
    for (const DHTBucket& bucket : m_buckets)
        chosen += good ? bucket.goodNodes(now) : bucket.questionableNodes(now);
    return chosen;
}

void DHTRoutingTable::refreshQuestionableNodes()
{
    for (const DHTNodePtr& node : questionableNodes())
        m_sender.sendPing(node->endpoint());
}

DHTNodePtr DHTRoutingTable::cacheNode(const DHTIdentifier& id, const DhtNodeAddress& endpoint)
{
    if (DHTNodePtr known = m_allNodes.value(id))
        return known;
    auto node = std::make_shared<DHTNode>(id, endpoint);
    node->touch(DHTNode::now());
    m_allNodes.insert(id, node);
    if (m_allNodes.size() > kNodeCacheLimit)
        evictLeastRecentlySeen();
    return node;
}

void DHTRoutingTable::evictLeastRecentlySeen()
{
    // Drop a tenth of the cache at once, so eviction costs one pass per many insertions.
    QList<DHTNodePtr> outside;
    for (const DHTNodePtr& node : std::as_const(m_allNodes))
        if (!node->isInBucket())
            outside.append(node);
    const qsizetype excess = m_allNodes.size() - kNodeCacheLimit * 9 / 10;
    const qsizetype count = std::min(excess, outside.size());
    if (count <= 0)
        return;
    std::nth_element(outside.begin(), outside.begin() + (count - 1), outside.end(),
                     [](const DHTNodePtr& a, const DHTNodePtr& b) { return a->lastSeen() < b->lastSeen(); });
    for (qsizetype i = 0; i < count; ++i)
        m_allNodes.remove(outside[i]->nodeID());
}

bool DHTRoutingTable::moreNodesAreDesired() const
{
    return m_fiveSecondsElapsed && goodNodes().size() <= kMaxGoodWhileDiscovering
           && m_allNodes.size() < kMaxKnownWhileDiscovering;
}

void DHTRoutingTable::discoverMoreNodes()
{
    m_fiveSecondsElapsed = true;
    if (!moreNodesAreDesired())
        return;
    for (const DHTNodePtr& node : goodNodes())
        m_sender.sendFindNode(node->endpoint(), m_ownID);
}

}  // namespace ombrelay
