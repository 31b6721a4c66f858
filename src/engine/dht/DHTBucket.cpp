#include "engine/dht/DHTBucket.h"

#include <algorithm>

namespace ombrelay {

bool DHTBucket::rangeIncludesIdentifier(const DHTIdentifier& id) const
{
    if (id < m_lower)
        return false;
    return id < m_upper || (m_upper == DHTIdentifier::maxIdentifier() && id == m_upper);
}

QList<DHTNodePtr> DHTBucket::nodesByGoodness(bool good, qint64 now) const
{
    QList<DHTNodePtr> chosen;
    for (const DHTNodePtr& node : m_nodes)
        if (node->isGood(now) == good)
            chosen.append(node);
    return chosen;
}

QList<DHTNodePtr> DHTBucket::nodesForStorage(qint64 now) const
{
    const auto byFirstResponse = [](const DHTNodePtr& a, const DHTNodePtr& b) {
        return a->firstResponse() < b->firstResponse();
    };
    QList<DHTNodePtr> good = goodNodes(now);
    QList<DHTNodePtr> all = m_nodes;
    std::stable_sort(good.begin(), good.end(), byFirstResponse);
    std::stable_sort(all.begin(), all.end(), byFirstResponse);
    QList<DHTNodePtr> chosen = good + all;
    if (chosen.size() > K)
        chosen.resize(K);
    return chosen;
}

}  // namespace ombrelay
