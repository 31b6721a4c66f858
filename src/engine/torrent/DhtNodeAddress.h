#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace ombrelay {

// An IPv4 DHT node named by a metainfo's "nodes" list: address in network order and port.
struct DhtNodeAddress
{
    quint32 address = 0;  // network byte order
    quint16 port = 0;

    // A dotted IPv4 address and a port 1..65535; unspecified, broadcast and multicast addresses and host
    // names (never resolved) give none.
    static std::optional<DhtNodeAddress> fromHostAndPort(const QString& host, qint64 port);
    QString toString() const;  // "1.2.3.4:6881"

    bool operator==(const DhtNodeAddress&) const = default;
};

}  // namespace ombrelay
