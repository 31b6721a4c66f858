#include "engine/dht/DHTMessage.h"
#include "engine/bencode/Bdecoder.h"
#include "engine/bencode/Bencoder.h"
#include "engine/dht/DHTNode.h"
#include "kit/ByteReader.h"

namespace ombrelay {
namespace {

QByteArray query(const QByteArray& name, BValue arguments, const QByteArray& transactionID)
{
    BValue message;
    message.insert("a", std::move(arguments));
    message.insert("q", name);
    message.insert("t", transactionID);
    message.insert("y", "q");
    return Bencoder::bencodingForObject(message);
}

BValue arguments(const DHTIdentifier& ownID)
{
    BValue a;
    a.insert("id", ownID.data());
    return a;
}

std::optional<DhtNodeAddress> readEndpoint(ByteReader& reader)
{
    DhtNodeAddress endpoint;
    endpoint.address = reader.readByte4();  // kept in network order
    endpoint.port = reader.readBigEndian2();
    if (!reader.ok() || !isUsableNodeEndpoint(endpoint))
        return std::nullopt;
    return endpoint;
}

}  // namespace

std::optional<DHTMessage> DHTMessage::parse(const QByteArray& datagram)
{
    const BValue root = Bdecoder(datagram, Bdecoder::kDatagramLimit).takeObject();
    if (!root.isDict())
        return std::nullopt;
    const BValue& t = root["t"];
    const QByteArray y = root["y"].asBytes();
    if (!t.isBytes() || t.size() == 0)
        return std::nullopt;

    DHTMessage message;
    message.transactionID = t.asBytes();
    const BValue* body = nullptr;
    if (y == "q") {
        message.type = Type::Query;
        message.queryName = root["q"].asBytes();
        body = root.find("a");
    } else if (y == "r") {
        message.type = Type::Reply;
        body = root.find("r");
    } else {
        return std::nullopt;
    }
    if (!body || !body->isDict())
        return std::nullopt;
    const BValue& id = (*body)["id"];
    const auto senderID = id.isBytes() ? DHTIdentifier::fromData(id.asBytes()) : std::nullopt;
    if (!senderID)
        return std::nullopt;
    message.senderID = *senderID;
    if (message.type == Type::Reply) {
        message.nodes = nodesFromCompactNodeData((*body)["nodes"].asBytes());
        message.compactPeers = compactPeersFromValues((*body)["values"]);
        message.token = (*body)["token"].asBytes();
    }
    return message;
}

QList<DHTNodeInfo> DHTMessage::nodesFromCompactNodeData(const QByteArray& data)
{
    QList<DHTNodeInfo> nodes;
    if (data.isEmpty() || data.size() % kCompactNodeSize != 0)
        return nodes;
    ByteReader reader(data);
    while (!reader.atEnd() && nodes.size() < kMaxNodesPerReply) {
        const auto id = DHTIdentifier::fromData(reader.readBytes(DHTIdentifier::kSize));
        const auto endpoint = readEndpoint(reader);
        if (!reader.ok())
            break;
        if (id && endpoint)
            nodes.append({*id, *endpoint});
    }
    return nodes;
}

QByteArray DHTMessage::compactPeersFromValues(const BValue& values)
{
    QByteArray peers;
    for (const BValue& value : values.asList()) {
        if (!value.isBytes() || value.size() != kCompactPeerSize)
            continue;
        const QByteArray bytes = value.asBytes();
        ByteReader reader(bytes);
        if (readEndpoint(reader))
            peers.append(bytes);
    }
    return peers;
}

QByteArray DHTMessage::pingQuery(const DHTIdentifier& ownID, const QByteArray& transactionID)
{
    return query("ping", arguments(ownID), transactionID);
}

QByteArray DHTMessage::findNodeQuery(const DHTIdentifier& ownID, const QByteArray& transactionID,
                                     const DHTIdentifier& target)
{
    BValue a = arguments(ownID);
    a.insert("target", target.data());
    return query("find_node", std::move(a), transactionID);
}

QByteArray DHTMessage::getPeersQuery(const DHTIdentifier& ownID, const QByteArray& transactionID,
                                     const QByteArray& infoHash)
{
    BValue a = arguments(ownID);
    a.insert("info_hash", infoHash);
    return query("get_peers", std::move(a), transactionID);
}

QByteArray DHTMessage::pingReply(const DHTIdentifier& ownID, const QByteArray& transactionID)
{
    BValue message;
    message.insert("r", arguments(ownID));
    message.insert("t", transactionID);
    message.insert("y", "r");
    return Bencoder::bencodingForObject(message);
}

}  // namespace ombrelay
