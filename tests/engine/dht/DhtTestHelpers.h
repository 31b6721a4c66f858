#pragma once

#include "engine/dht/DHTIdentifier.h"
#include "engine/dht/DHTQuerySender.h"

#include <QByteArray>
#include <QList>
#include <QtEndian>
#include <arpa/inet.h>

namespace ombrelay::dhttest {

// An identifier from a hex text of up to 40 digits, right-aligned (so "1" is the number 1).
inline DHTIdentifier idFromHex(const char* hex)
{
    QByteArray digits(hex);
    digits = QByteArray(40 - digits.size(), '0') + digits;
    return *DHTIdentifier::fromData(QByteArray::fromHex(digits));
}

// An identifier whose first byte is `top` and whose last byte is `low`.
inline DHTIdentifier idWithTop(quint8 top, quint8 low = 0)
{
    QByteArray bytes(20, '\0');
    bytes[0] = char(top);
    bytes[19] = char(low);
    return *DHTIdentifier::fromData(bytes);
}

inline DhtNodeAddress endpoint(const char* dotted, quint16 port)
{
    return DhtNodeAddress{inet_addr(dotted), port};
}

// The 6-byte compact form of an address: the address, then the port, both in network order.
inline QByteArray compactAddress(const DhtNodeAddress& e)
{
    QByteArray bytes(reinterpret_cast<const char*>(&e.address), 4);
    bytes.append(char(e.port >> 8)).append(char(e.port & 0xFF));
    return bytes;
}

inline QByteArray compactNodeInfo(const DHTIdentifier& id, const DhtNodeAddress& e)
{
    return id.data() + compactAddress(e);
}

// Records the queries a routing table asks for.
struct RecordingSender : DHTQuerySender
{
    QList<DhtNodeAddress> pinged;
    QList<std::pair<DhtNodeAddress, DHTIdentifier>> findNodes;
    void sendPing(const DhtNodeAddress& e) override { pinged.append(e); }
    void sendFindNode(const DhtNodeAddress& e, const DHTIdentifier& target) override { findNodes.append({e, target}); }
};

}  // namespace ombrelay::dhttest
