#include "engine/torrent/DhtNodeAddress.h"

#include <arpa/inet.h>

namespace ombrelay {

std::optional<DhtNodeAddress> DhtNodeAddress::fromHostAndPort(const QString& host, qint64 port)
{
    if (port < 1 || port > 65535 || host.size() > 15)
        return std::nullopt;
    in_addr parsed{};
    if (inet_pton(AF_INET, host.toLatin1().constData(), &parsed) != 1)
        return std::nullopt;
    const quint32 hostOrder = ntohl(parsed.s_addr);
    const bool unspecified = hostOrder == 0;
    const bool broadcast = hostOrder == 0xFFFFFFFFu;
    const bool multicast = (hostOrder >> 28) == 0xE;
    if (unspecified || broadcast || multicast)
        return std::nullopt;
    return DhtNodeAddress{parsed.s_addr, quint16(port)};
}

QString DhtNodeAddress::toString() const
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return QStringLiteral("%1:%2").arg(QString::fromLatin1(text)).arg(port);
}

}  // namespace ombrelay
