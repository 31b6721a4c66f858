#include "engine/dht/DHTPeerLookup.h"
#include "engine/dht/DHTNode.h"

#include <iterator>

namespace ombrelay {

DHTPeerLookup::DHTPeerLookup(const DHTIdentifier& infoHash, quint64 serial, qint64 nowMs)
    : m_target(infoHash), m_serial(serial), m_startMs(nowMs)
{
}

void DHTPeerLookup::addCandidate(const DhtNodeAddress& endpoint, const std::optional<DHTIdentifier>& id)
{
    const quint64 endpointID = endpointKey(endpoint);
    if (m_keyByEndpoint.contains(endpointID) || !isUsableNodeEndpoint(endpoint))
        return;
    const Key key{id ? id->distanceTo(m_target) : DHTIdentifier::maxIdentifier(), endpointID};
    m_candidates.emplace(key, Candidate{endpoint});
    m_keyByEndpoint.insert(endpointID, key);
}

bool DHTPeerLookup::isWorthAsking(const DHTIdentifier& distance) const
{
    if (m_responderDistances.size() < size_t(kClosestResponders))
        return true;
    return distance < *std::next(m_responderDistances.begin(), kClosestResponders - 1);
}

void DHTPeerLookup::expireQueries(qint64 nowMs)
{
    for (auto& [key, candidate] : m_candidates)
        if (candidate.state == State::InFlight && nowMs - candidate.sentMs >= kQueryTimeoutMs)
            candidate.state = State::Failed;
}

QList<DhtNodeAddress> DHTPeerLookup::nextQueries(qint64 nowMs)
{
    expireQueries(nowMs);
    QList<DhtNodeAddress> toAsk;
    if (isFinished(nowMs))
        return toAsk;
    int inFlight = 0;
    for (const auto& [key, candidate] : m_candidates)
        if (candidate.state == State::InFlight)
            ++inFlight;
    for (auto& [key, candidate] : m_candidates) {
        if (inFlight >= kParallel || m_queriesSent >= kMaxQueries || !isWorthAsking(key.first))
            break;
        if (candidate.state != State::Fresh)
            continue;
        candidate.state = State::InFlight;
        candidate.sentMs = nowMs;
        ++inFlight;
        ++m_queriesSent;
        toAsk.append(candidate.endpoint);
    }
    return toAsk;
}

void DHTPeerLookup::handleReply(const DhtNodeAddress& responder, const DHTIdentifier& responderID,
                                const QList<DHTNodeInfo>& nodes)
{
    const auto key = m_keyByEndpoint.constFind(endpointKey(responder));
    if (key == m_keyByEndpoint.constEnd())
        return;
    const auto candidate = m_candidates.find(*key);
    if (candidate == m_candidates.end() || candidate->second.state == State::Answered)
        return;
    // A late answer after the query timed out still counts.
    candidate->second.state = State::Answered;
    m_responderDistances.insert(responderID.distanceTo(m_target));
    for (const DHTNodeInfo& node : nodes)
        addCandidate(node.endpoint, node.id);
}

bool DHTPeerLookup::isFinished(qint64 nowMs)
{
    if (nowMs - m_startMs >= kLifetimeMs)
        return true;
    expireQueries(nowMs);
    for (const auto& [key, candidate] : m_candidates) {
        if (candidate.state == State::InFlight)
            return false;
        if (candidate.state == State::Fresh && m_queriesSent < kMaxQueries && isWorthAsking(key.first))
            return false;
    }
    return true;
}

}  // namespace ombrelay
