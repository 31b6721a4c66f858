#include "engine/dht/DHTIdentifier.h"

#include <cstring>

namespace ombrelay {

std::optional<DHTIdentifier> DHTIdentifier::fromData(QByteArrayView data)
{
    if (data.size() != kSize)
        return std::nullopt;
    DHTIdentifier id;
    std::memcpy(id.m_bytes.data(), data.data(), kSize);
    return id;
}

QByteArray DHTIdentifier::data() const
{
    return QByteArray(reinterpret_cast<const char*>(m_bytes.data()), kSize);
}

DHTIdentifier DHTIdentifier::maxIdentifier()
{
    DHTIdentifier id;
    id.m_bytes.fill(0xFF);
    return id;
}

DHTIdentifier DHTIdentifier::between(const DHTIdentifier& a, const DHTIdentifier& b)
{
    // Sum from the least significant byte; the final carry is bit 160 of the sum.
    std::array<quint8, kSize> sum{};
    unsigned carry = 0;
    for (int i = kSize - 1; i >= 0; --i) {
        const unsigned s = unsigned(a.m_bytes[i]) + b.m_bytes[i] + carry;
        sum[i] = quint8(s);
        carry = s >> 8;
    }
    // Shift the 161-bit sum right by one, from the most significant byte.
    DHTIdentifier half;
    unsigned high = carry;
    for (int i = 0; i < kSize; ++i) {
        half.m_bytes[i] = quint8((high << 7) | (sum[i] >> 1));
        high = sum[i] & 1u;
    }
    return half;
}

DHTIdentifier DHTIdentifier::distanceTo(const DHTIdentifier& other) const
{
    DHTIdentifier d;
    for (int i = 0; i < kSize; ++i)
        d.m_bytes[i] = m_bytes[i] ^ other.m_bytes[i];
    return d;
}

}  // namespace ombrelay
