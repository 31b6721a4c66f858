#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace ombrelay {

// What a tracker answered to an announce: a bencoded dictionary of at most 2 MiB.
struct AnnounceReply
{
    struct Peer
    {
        quint32 address = 0;  // network byte order
        quint16 port = 0;
        bool operator==(const Peer&) const = default;
    };

    static constexpr int kDefaultReannounceSeconds = 600;
    static constexpr int kMinIntervalMarginSeconds = 20;
    static constexpr qint64 kMaxIntervalSeconds = 24 * 3600;

    // None when the body is not a bencoded dictionary (empty, over 2 MiB, malformed).
    static std::optional<AnnounceReply> parse(const QByteArray& body);

    // Usable peer addresses: not 0.0.0.0/8, not 224.0.0.0/3 (multicast, reserved, broadcast), port not 0.
    static bool isUsablePeer(quint32 addressHostOrder, quint16 port);

    QString failureReason;          // non-empty: the tracker refused the announce
    QString warning;
    std::optional<int> seeds;       // "complete"
    std::optional<int> leeches;     // "incomplete"
    qint64 interval = 0;            // seconds; 0 when absent
    qint64 minInterval = 0;         // seconds; 0 when absent or not positive
    QByteArray trackerId;
    QList<Peer> peers;              // compact and dictionary forms, unusable ones left out

    bool failed() const { return !failureReason.isEmpty(); }
    // When to announce again: "min interval" + 20 s when the tracker gave one, else 600 s.
    int reannounceDelaySeconds() const;
};

}  // namespace ombrelay
