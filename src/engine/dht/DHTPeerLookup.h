#pragma once

#include "engine/dht/DHTMessage.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <map>
#include <optional>
#include <set>

namespace ombrelay {

// One bounded iterative get_peers lookup for an info hash. Candidates are asked in order of XOR distance
// to the hash, a few at a time, and only while they are closer than the 8th-closest node that answered;
// the lookup ends when no such candidate is left, after kMaxQueries queries, or after kLifetimeMs. Every
// address is asked at most once per lookup. It sends nothing itself: the controller asks it what to send
// and tells it what came back. Times are milliseconds of a monotonic clock.
class DHTPeerLookup
{
public:
    static constexpr int kParallel = 4;
    static constexpr int kClosestResponders = 8;
    static constexpr int kMaxQueries = 64;
    static constexpr qint64 kQueryTimeoutMs = 5000;
    static constexpr qint64 kLifetimeMs = 60000;

    DHTPeerLookup(const DHTIdentifier& infoHash, quint64 serial, qint64 nowMs);

    const DHTIdentifier& infoHash() const { return m_target; }
    quint64 serial() const { return m_serial; }

    // A node to ask; one without a known id counts as the farthest. Ignored when its address was
    // already a candidate of this lookup.
    void addCandidate(const DhtNodeAddress& endpoint, const std::optional<DHTIdentifier>& id = std::nullopt);

    // The addresses to query now; they count as asked and in flight.
    QList<DhtNodeAddress> nextQueries(qint64 nowMs);
    // A reply to one of our queries of this lookup: the responder and the closer nodes it named.
    void handleReply(const DhtNodeAddress& responder, const DHTIdentifier& responderID,
                     const QList<DHTNodeInfo>& nodes);
    bool isFinished(qint64 nowMs);

    int queriesSent() const { return m_queriesSent; }

private:
    enum class State { Fresh, InFlight, Answered, Failed };
    using Key = std::pair<DHTIdentifier, quint64>;  // distance, endpoint
    struct Candidate
    {
        DhtNodeAddress endpoint;
        State state = State::Fresh;
        qint64 sentMs = 0;
    };

    void expireQueries(qint64 nowMs);
    bool isWorthAsking(const DHTIdentifier& distance) const;

    DHTIdentifier m_target;
    quint64 m_serial;
    qint64 m_startMs;
    int m_queriesSent = 0;
    std::map<Key, Candidate> m_candidates;
    QHash<quint64, Key> m_keyByEndpoint;
    std::multiset<DHTIdentifier> m_responderDistances;
};

}  // namespace ombrelay
