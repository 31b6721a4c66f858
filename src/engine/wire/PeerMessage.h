#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace ombrelay {

// One message of the peer protocol after the handshake: a 4-byte big-endian length, an id, a payload.
struct PeerMessage
{
    enum Id : quint8 {
        Choke = 0,
        Unchoke = 1,
        Interested = 2,
        NotInterested = 3,
        Have = 4,
        Bitfield = 5,
        Request = 6,
        Piece = 7,
        Cancel = 8,
        Port = 9,
        Suggest = 13,
        HaveAll = 14,
        HaveNone = 15,
        Reject = 16,
        AllowedFast = 17,
        Extended = 20,
    };
    static constexpr quint32 kBlockSize = 16384;
    static constexpr quint32 kLenientBlockSize = 131072;
    static constexpr quint32 kMaxExtendedPayload = 1 << 20;
    static constexpr quint32 kMaxUnknownPayload = 1 << 20;
    static constexpr quint8 kPexId = 1;  // our "ut_pex" id

    bool keepAlive = false;
    bool known = true;  // false: an id we read and ignore
    quint8 id = 0;
    quint32 index = 0;   // have, suggest, allowed fast, request, piece, cancel, reject
    quint32 begin = 0;   // request, piece, cancel, reject
    quint32 length = 0;  // request, cancel, reject
    quint16 port = 0;
    quint8 extendedId = 0;
    QByteArray payload;  // bitfield bits, block data, extended dictionary

    // Builders, byte-exact.
    static QByteArray handshake(const QByteArray& infoHash, const QByteArray& peerId);
    static QByteArray keepAliveMessage();
    static QByteArray simple(Id id);  // choke, unchoke, (not) interested, have all, have none
    static QByteArray withIndex(Id id, quint32 index);  // have, suggest, allowed fast
    static QByteArray blockMessage(Id id, quint32 index, quint32 begin, quint32 length);  // request, cancel, reject
    static QByteArray piece(quint32 index, quint32 begin, const QByteArray& data);
    static QByteArray bitfield(const QByteArray& bits);
    static QByteArray portMessage(quint16 port);
    static QByteArray extended(quint8 extendedId, const QByteArray& payload);
    static QByteArray extensionHandshake(quint16 listeningPort, int requestQueueDepth, const QString& version);
};

// The handshake's fields, read from exactly 68 bytes.
struct PeerHandshake
{
    static constexpr qsizetype kSize = 68;
    static constexpr char kReserved[8] = {0, 0, 0, 0, 0, 0x10, 0, 0x05};

    bool protocolMatches = false;
    QByteArray infoHash;
    QByteArray peerId;
    bool supportsExtensions = false;
    bool supportsFast = false;
    bool supportsDht = false;

    static PeerHandshake read(const char* data);  // needs kSize bytes
};

// Reads one message off the front of a buffer with every length checked before anything is indexed.
// A length is computed in 64 bits and capped per kind, so no peer can make us buffer more than a block
// or an extension message; indexes are checked against the piece count.
class PeerMessageReader
{
public:
    enum class Status { NeedMore, Message, Fault };
    struct Result
    {
        Status status = Status::NeedMore;
        qsizetype consumed = 0;  // with Message
        PeerMessage message;
        QString fault;           // with Fault
    };

    static Result read(const char* data, qsizetype length, quint32 pieceCount);
    // The one length a fixed-size kind (and a bitfield, for this piece count) may have; none for the others.
    static std::optional<quint64> exactLength(quint8 id, quint32 pieceCount);
    // The largest length field a message of a kind without an exact length may carry.
    static quint64 maximumLength(quint8 id);
};

}  // namespace ombrelay
