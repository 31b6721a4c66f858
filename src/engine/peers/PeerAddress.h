#pragma once

#include <QByteArrayView>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <optional>

namespace ombrelay {

// One peer: an IPv4 address in network order and a port. Peers are told apart by both, never by the
// address alone (NATs and loopback tests put many peers behind one address).
struct PeerAddress
{
    static constexpr qsizetype kCompactSize = 6;

    quint32 address = 0;  // network byte order
    quint16 port = 0;

    quint32 hostOrderAddress() const;
    // Usable as a peer: not 0.0.0.0/8, not 224.0.0.0/3 (multicast, reserved, broadcast), port not 0.
    // Loopback and private addresses are usable (tests and LANs).
    bool isUsable() const;

    // The address as "peers.db" stores it: its bytes in network order, least significant first, so
    // 1.2.3.4 is 1 + 2 * 256 + 3 * 65536 + 4 * 16777216.
    qint64 storedAddress() const;
    static PeerAddress fromStored(qint64 storedAddress, qint64 port);

    // A compact entry: 4 address bytes and a big-endian port.
    static std::optional<PeerAddress> fromCompact(QByteArrayView entry);
    // The entries of a compact list; none unless its length is a multiple of 6. Unusable ones are left
    // out; at most maxEntries are read (the rest is ignored).
    static QList<PeerAddress> fromCompactList(QByteArrayView list, qsizetype maxEntries);

    static QString addressText(quint32 networkOrderAddress);  // "1.2.3.4"
    QString toString() const;                                  // "1.2.3.4:6881"
    // Reads toString's form; none for anything else (names, IPv6, a port out of range or 0).
    static std::optional<PeerAddress> fromString(QStringView text);

    bool operator==(const PeerAddress&) const = default;
};

inline size_t qHash(const PeerAddress& peer, size_t seed = 0)
{
    return qHashMulti(seed, peer.address, peer.port);
}

}  // namespace ombrelay
