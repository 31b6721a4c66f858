#pragma once

#include "engine/torrent/DhtNodeAddress.h"

#include <QByteArray>
#include <QHash>
#include <optional>

namespace ombrelay {

// A query we sent and wait to hear about.
struct DHTTransaction
{
    enum class Kind { Ping, FindNode, GetPeers };

    Kind kind = Kind::Ping;
    DhtNodeAddress destination;
    QByteArray infoHash;       // get_peers only
    quint64 lookupSerial = 0;  // get_peers only: the lookup that sent it
};

// The pending queries by transaction id ("t"). A reply counts only when it comes from the address and
// port the query went to; it ends the transaction. sweep(), every 10 s, forgets what the previous sweep
// saw, so an unanswered query is forgotten 10 to 20 s after it was sent.
class DHTTransactions
{
public:
    // Registers a query and answers its transaction id: 4 random bytes and "p" for ping, and "f" for
    // find_node; the info hash and 4 random bytes for get_peers. Ids already pending are drawn again.
    QByteArray add(const DHTTransaction& transaction);

    std::optional<DHTTransaction> take(const QByteArray& transactionID, const DhtNodeAddress& sender);
    void sweep();

    qsizetype count() const { return m_pending.size(); }

private:
    QHash<QByteArray, DHTTransaction> m_pending;
    QList<QByteArray> m_seenBySweep;
};

}  // namespace ombrelay
