#include "engine/peers/PeerAddress.h"

#include "engine/tracker/AnnounceReply.h"
#include "kit/ByteReader.h"

#include <QtEndian>
#include <arpa/inet.h>

namespace ombrelay {

quint32 PeerAddress::hostOrderAddress() const
{
    return qFromBigEndian(address);
}

bool PeerAddress::isUsable() const
{
    return AnnounceReply::isUsablePeer(hostOrderAddress(), port);
}

qint64 PeerAddress::storedAddress() const
{
    const quint32 host = hostOrderAddress();
    const quint32 w = host >> 24, x = (host >> 16) & 0xFF, y = (host >> 8) & 0xFF, z = host & 0xFF;
    return qint64(w) + 256 * qint64(x) + 65536 * qint64(y) + 16777216 * qint64(z);
}

PeerAddress PeerAddress::fromStored(qint64 storedAddress, qint64 port)
{
    const quint32 stored = quint32(storedAddress);
    const quint32 host = (stored & 0xFF) << 24 | ((stored >> 8) & 0xFF) << 16 | ((stored >> 16) & 0xFF) << 8 |
                         (stored >> 24);
    return PeerAddress{qToBigEndian(host), quint16(port)};
}

std::optional<PeerAddress> PeerAddress::fromCompact(QByteArrayView entry)
{
    if (entry.size() != kCompactSize)
        return std::nullopt;
    ByteReader reader(entry);
    const quint32 host = reader.readBigEndian4();
    const quint16 port = reader.readBigEndian2();
    return PeerAddress{qToBigEndian(host), port};
}

QList<PeerAddress> PeerAddress::fromCompactList(QByteArrayView list, qsizetype maxEntries)
{
    QList<PeerAddress> peers;
    if (list.size() % kCompactSize != 0)
        return peers;
    const qsizetype count = std::min(list.size() / kCompactSize, maxEntries);
    for (qsizetype i = 0; i < count; ++i) {
        const std::optional<PeerAddress> peer = fromCompact(list.sliced(i * kCompactSize, kCompactSize));
        if (peer && peer->isUsable())
            peers.append(*peer);
    }
    return peers;
}

QString PeerAddress::addressText(quint32 networkOrderAddress)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = networkOrderAddress;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return QString::fromLatin1(text);
}

QString PeerAddress::toString() const
{
    return QStringLiteral("%1:%2").arg(addressText(address)).arg(port);
}

std::optional<PeerAddress> PeerAddress::fromString(QStringView text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0 || colon > INET_ADDRSTRLEN)
        return std::nullopt;
    bool ok = false;
    const uint port = text.sliced(colon + 1).toUInt(&ok);
    in_addr a{};
    if (!ok || port == 0 || port > 65535 || inet_pton(AF_INET, text.first(colon).toLatin1().constData(), &a) != 1)
        return std::nullopt;
    return PeerAddress{a.s_addr, quint16(port)};
}

}  // namespace ombrelay
