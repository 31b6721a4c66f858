#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHashFunctions>
#include <array>
#include <compare>
#include <optional>

namespace ombrelay {

// A 160-bit DHT identifier (node id or info hash), kept as its 20-byte big-endian form, so that the
// order of identifiers is the order of those bytes.
class DHTIdentifier
{
public:
    static constexpr int kSize = 20;

    DHTIdentifier() = default;  // 0

    // None unless the data is exactly 20 bytes.
    static std::optional<DHTIdentifier> fromData(QByteArrayView data);
    QByteArray data() const;

    static DHTIdentifier minIdentifier() { return {}; }
    static DHTIdentifier maxIdentifier();  // 2^160 - 1

    // floor((a + b) / 2), with the carry of the sum kept, so it never overflows.
    static DHTIdentifier between(const DHTIdentifier& a, const DHTIdentifier& b);

    // The XOR metric: a smaller distance is a closer identifier.
    DHTIdentifier distanceTo(const DHTIdentifier& other) const;

    auto operator<=>(const DHTIdentifier&) const = default;
    bool operator==(const DHTIdentifier&) const = default;

    friend size_t qHash(const DHTIdentifier& id, size_t seed = 0)
    {
        return qHashBits(id.m_bytes.data(), id.m_bytes.size(), seed);
    }

private:
    std::array<quint8, kSize> m_bytes{};
};

}  // namespace ombrelay
