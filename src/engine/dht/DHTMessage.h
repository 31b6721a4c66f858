#pragma once

#include "engine/bencode/BValue.h"
#include "engine/dht/DHTIdentifier.h"
#include "engine/torrent/DhtNodeAddress.h"

#include <QByteArray>
#include <QList>
#include <optional>

namespace ombrelay {

// A node from a compact "nodes" value: 20-byte id, 4-byte address, 2-byte big-endian port.
struct DHTNodeInfo
{
    DHTIdentifier id;
    DhtNodeAddress endpoint;
};

// One KRPC datagram, as we read it (queries and replies) and write it (our queries and ping replies).
struct DHTMessage
{
    static constexpr int kCompactNodeSize = 26;
    static constexpr int kCompactPeerSize = 6;
    static constexpr int kMaxNodesPerReply = 16;

    enum class Type { Query, Reply };

    Type type = Type::Query;
    QByteArray transactionID;  // "t"
    QByteArray queryName;      // "q", queries only
    DHTIdentifier senderID;    // "a"."id" of a query, "r"."id" of a reply
    QList<DHTNodeInfo> nodes;  // "r"."nodes": usable addresses only, at most kMaxNodesPerReply
    QByteArray compactPeers;   // "r"."values": the 6-byte strings with a usable address, joined
    QByteArray token;          // "r"."token"

    // None for anything but a query with an "a" dictionary or a reply with an "r" dictionary, each
    // carrying a byte-string "t" and a 20-byte "id" (errors and malformed datagrams are dropped).
    static std::optional<DHTMessage> parse(const QByteArray& datagram);

    // Compact node info; a length that is not a non-zero multiple of 26 gives no nodes.
    static QList<DHTNodeInfo> nodesFromCompactNodeData(const QByteArray& data);
    // Each 6-byte string is one peer; strings of other lengths and unusable addresses are skipped.
    static QByteArray compactPeersFromValues(const BValue& values);

    static QByteArray pingQuery(const DHTIdentifier& ownID, const QByteArray& transactionID);
    static QByteArray findNodeQuery(const DHTIdentifier& ownID, const QByteArray& transactionID,
                                    const DHTIdentifier& target);
    static QByteArray getPeersQuery(const DHTIdentifier& ownID, const QByteArray& transactionID,
                                    const QByteArray& infoHash);
    static QByteArray pingReply(const DHTIdentifier& ownID, const QByteArray& transactionID);
};

}  // namespace ombrelay
