#pragma once

#include "engine/dht/DHTNode.h"

#include <QList>

namespace ombrelay {

// A range of the identifier space, lower <= id < upper, and the nodes in it. The top bucket also holds
// the largest identifier, 2^160 - 1, which no half-open range would include.
class DHTBucket
{
public:
    static constexpr int K = 8;

    DHTBucket(const DHTIdentifier& lower, const DHTIdentifier& upper) : m_lower(lower), m_upper(upper) {}

    bool rangeIncludesIdentifier(const DHTIdentifier& id) const;

    const DHTIdentifier& lower() const { return m_lower; }
    const DHTIdentifier& upper() const { return m_upper; }
    void setLower(const DHTIdentifier& lower) { m_lower = lower; }
    void setUpper(const DHTIdentifier& upper) { m_upper = upper; }

    const QList<DHTNodePtr>& nodes() const { return m_nodes; }
    QList<DHTNodePtr>& nodes() { return m_nodes; }
    bool contains(const DHTNodePtr& node) const { return m_nodes.contains(node); }

    QList<DHTNodePtr> goodNodes(qint64 now) const { return nodesByGoodness(true, now); }
    QList<DHTNodePtr> questionableNodes(qint64 now) const { return nodesByGoodness(false, now); }
    // Up to K nodes to store: the good ones, then all, each list oldest first response first.
    QList<DHTNodePtr> nodesForStorage(qint64 now) const;

private:
    QList<DHTNodePtr> nodesByGoodness(bool good, qint64 now) const;

    DHTIdentifier m_lower;
    DHTIdentifier m_upper;
    QList<DHTNodePtr> m_nodes;
};

}  // namespace ombrelay
