#include "engine/tracker/AnnounceReply.h"

#include "engine/bencode/Bdecoder.h"

#include <arpa/inet.h>

#include <algorithm>
#include <limits>

namespace ombrelay {
namespace {

std::optional<int> count(const BValue& value)
{
    if (!value.isInt())
        return std::nullopt;
    return int(std::clamp<qint64>(value.asInt(), 0, std::numeric_limits<int>::max()));
}

qint64 seconds(const BValue& value)
{
    return value.isInt() ? std::clamp<qint64>(value.asInt(), 0, AnnounceReply::kMaxIntervalSeconds) : 0;
}

void addCompactPeers(const QByteArray& bytes, QList<AnnounceReply::Peer>& peers)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    for (qsizetype at = 0; at + 6 <= bytes.size(); at += 6) {
        const quint32 hostOrder = quint32(p[at]) << 24 | quint32(p[at + 1]) << 16 | quint32(p[at + 2]) << 8 | p[at + 3];
        const quint16 port = quint16(p[at + 4] << 8 | p[at + 5]);
        if (AnnounceReply::isUsablePeer(hostOrder, port))
            peers.append({htonl(hostOrder), port});
    }
}

void addDictionaryPeers(const BValue::List& list, QList<AnnounceReply::Peer>& peers)
{
    for (const BValue& entry : list) {
        const QByteArray ip = entry["ip"].asBytes();
        const qint64 port = entry["port"].asInt(0);
        if (ip.isEmpty() || ip.size() > 15 || ip.contains('\0') || port < 1 || port > 65535)
            continue;
        in_addr parsed{};
        if (inet_pton(AF_INET, ip.constData(), &parsed) != 1)
            continue;  // host names are never resolved; IPv6 is not used
        if (AnnounceReply::isUsablePeer(ntohl(parsed.s_addr), quint16(port)))
            peers.append({parsed.s_addr, quint16(port)});
    }
}

}  // namespace

bool AnnounceReply::isUsablePeer(quint32 addressHostOrder, quint16 port)
{
    const quint32 firstOctet = addressHostOrder >> 24;
    return port != 0 && firstOctet != 0 && firstOctet < 224;
}

std::optional<AnnounceReply> AnnounceReply::parse(const QByteArray& body)
{
    const Bdecoder decoder(body, Bdecoder::kTrackerReplyLimit);
    const BValue& root = decoder.object();
    if (!root.isDict())
        return std::nullopt;
    AnnounceReply reply;
    reply.seeds = count(root["complete"]);
    reply.leeches = count(root["incomplete"]);
    reply.interval = seconds(root["interval"]);
    reply.minInterval = seconds(root["min interval"]);
    const BValue& peers = root["peers"];
    if (peers.isBytes())
        addCompactPeers(peers.asBytes(), reply.peers);
    else if (peers.isList())
        addDictionaryPeers(peers.asList(), reply.peers);
    reply.trackerId = root["tracker id"].asBytes();
    reply.warning = root["warning message"].asText();
    if (root.find("failure reason")) {
        reply.failureReason = root["failure reason"].asText();
        if (reply.failureReason.isEmpty())
            reply.failureReason = QStringLiteral("refused");
    }
    return reply;
}

int AnnounceReply::reannounceDelaySeconds() const
{
    return minInterval > 0 ? int(minInterval) + kMinIntervalMarginSeconds : kDefaultReannounceSeconds;
}

}  // namespace ombrelay
