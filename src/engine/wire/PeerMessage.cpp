#include "engine/wire/PeerMessage.h"

#include "engine/bencode/BValue.h"
#include "engine/bencode/Bencoder.h"

#include <QtEndian>

namespace ombrelay {

namespace {

const QByteArray kProtocol("\x13" "BitTorrent protocol");

void appendBig32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

QByteArray header(quint32 length, quint8 id)
{
    QByteArray out;
    out.reserve(qsizetype(length) + 4);
    appendBig32(out, length);
    out.append(char(id));
    return out;
}

quint32 big32(const char* p)
{
    return qFromBigEndian<quint32>(p);
}

}  // namespace

QByteArray PeerMessage::handshake(const QByteArray& infoHash, const QByteArray& peerId)
{
    QByteArray out = kProtocol;
    out.append(PeerHandshake::kReserved, 8);
    out.append(infoHash.left(20));
    out.append(peerId.left(20));
    return out;
}

QByteArray PeerMessage::keepAliveMessage()
{
    return QByteArray(4, '\0');
}

QByteArray PeerMessage::simple(Id id)
{
    return header(1, id);
}

QByteArray PeerMessage::withIndex(Id id, quint32 index)
{
    QByteArray out = header(5, id);
    appendBig32(out, index);
    return out;
}

QByteArray PeerMessage::blockMessage(Id id, quint32 index, quint32 begin, quint32 length)
{
    QByteArray out = header(13, id);
    appendBig32(out, index);
    appendBig32(out, begin);
    appendBig32(out, length);
    return out;
}

QByteArray PeerMessage::piece(quint32 index, quint32 begin, const QByteArray& data)
{
    QByteArray out = header(quint32(data.size()) + 9, Piece);
    appendBig32(out, index);
    appendBig32(out, begin);
    out.append(data);
    return out;
}

QByteArray PeerMessage::bitfield(const QByteArray& bits)
{
    return header(quint32(bits.size()) + 1, Bitfield) + bits;
}

QByteArray PeerMessage::portMessage(quint16 port)
{
    QByteArray out = header(3, Port);
    out.append(char(port >> 8));
    out.append(char(port & 0xFF));
    return out;
}

QByteArray PeerMessage::extended(quint8 extendedId, const QByteArray& payload)
{
    QByteArray out = header(quint32(payload.size()) + 2, Extended);
    out.append(char(extendedId));
    out.append(payload);
    return out;
}

QByteArray PeerMessage::extensionHandshake(quint16 listeningPort, int requestQueueDepth, const QString& version)
{
    BValue m = BValue::dictionary();
    m.insert("ut_pex", BValue(int(kPexId)));
    BValue dict = BValue::dictionary();
    dict.insert("e", BValue(0));
    dict.insert("m", std::move(m));
    dict.insert("p", BValue(int(listeningPort)));
    dict.insert("reqq", BValue(requestQueueDepth));
    dict.insert("v", BValue(version));
    return extended(0, Bencoder::bencodingForObject(dict));
}

PeerHandshake PeerHandshake::read(const char* data)
{
    PeerHandshake h;
    h.protocolMatches = QByteArray::fromRawData(data, 20) == kProtocol;
    h.supportsExtensions = (data[25] & 0x10) != 0;
    h.supportsFast = (data[27] & 0x04) != 0;
    h.supportsDht = (data[27] & 0x01) != 0;
    h.infoHash = QByteArray(data + 28, 20);
    h.peerId = QByteArray(data + 48, 20);
    return h;
}

std::optional<quint64> PeerMessageReader::exactLength(quint8 id, quint32 pieceCount)
{
    switch (id) {
    case PeerMessage::Choke:
    case PeerMessage::Unchoke:
    case PeerMessage::Interested:
    case PeerMessage::NotInterested:
    case PeerMessage::HaveAll:
    case PeerMessage::HaveNone:
        return 1;
    case PeerMessage::Have:
    case PeerMessage::Suggest:
    case PeerMessage::AllowedFast:
        return 5;
    case PeerMessage::Request:
    case PeerMessage::Cancel:
    case PeerMessage::Reject:
        return 13;
    case PeerMessage::Port:
        return 3;
    case PeerMessage::Bitfield:
        return (quint64(pieceCount) + 7) / 8 + 1;
    default:
        return std::nullopt;
    }
}

quint64 PeerMessageReader::maximumLength(quint8 id)
{
    switch (id) {
    case PeerMessage::Piece:
        return quint64(PeerMessage::kLenientBlockSize) + 9;
    case PeerMessage::Extended:
        return quint64(PeerMessage::kMaxExtendedPayload) + 2;
    default:
        return quint64(PeerMessage::kMaxUnknownPayload) + 1;
    }
}

PeerMessageReader::Result PeerMessageReader::read(const char* data, qsizetype length, quint32 pieceCount)
{
    Result result;
    if (length < 4)
        return result;
    const quint64 messageLength = big32(data);
    if (messageLength == 0) {
        result.status = Status::Message;
        result.consumed = 4;
        result.message.keepAlive = true;
        return result;
    }
    if (length < 5)
        return result;
    const quint8 id = quint8(data[4]);
    const auto fault = [&result](QString why) {
        result.status = Status::Fault;
        result.fault = std::move(why);
        return result;
    };
    if (const std::optional<quint64> exact = exactLength(id, pieceCount)) {
        if (messageLength != *exact)
            return fault(QStringLiteral("message %1 of length %2").arg(id).arg(messageLength));
    } else if (messageLength > maximumLength(id)) {
        return fault(QStringLiteral("message %1 of length %2 is too long").arg(id).arg(messageLength));
    }
    if (quint64(length) < messageLength + 4)
        return result;

    PeerMessage& m = result.message;
    m.id = id;
    const char* p = data + 5;
    const quint32 payloadLength = quint32(messageLength - 1);
    switch (id) {
    case PeerMessage::Choke:
    case PeerMessage::Unchoke:
    case PeerMessage::Interested:
    case PeerMessage::NotInterested:
    case PeerMessage::HaveAll:
    case PeerMessage::HaveNone:
        break;
    case PeerMessage::Have:
    case PeerMessage::Suggest:
    case PeerMessage::AllowedFast:
        m.index = big32(p);
        if (m.index >= pieceCount)
            return fault(QStringLiteral("piece %1 of %2 pieces").arg(m.index).arg(pieceCount));
        break;
    case PeerMessage::Request:
    case PeerMessage::Cancel:
    case PeerMessage::Reject:
        m.index = big32(p);
        m.begin = big32(p + 4);
        m.length = big32(p + 8);
        if (m.index >= pieceCount)
            return fault(QStringLiteral("piece %1 of %2 pieces").arg(m.index).arg(pieceCount));
        break;
    case PeerMessage::Port:
        m.port = quint16((quint8(p[0]) << 8) | quint8(p[1]));
        break;
    case PeerMessage::Bitfield: {
        const quint32 expected = payloadLength;  // ceil(pieces / 8), checked above
        const int spare = int(quint64(expected) * 8 - pieceCount);
        if (spare > 0 && (quint8(p[expected - 1]) & ((1u << spare) - 1)) != 0)
            return fault(QStringLiteral("bitfield with spare bits set"));
        m.payload = QByteArray(p, qsizetype(expected));
        break;
    }
    case PeerMessage::Piece:
        if (payloadLength < 9)
            return fault(QStringLiteral("piece message of length %1").arg(messageLength));
        m.index = big32(p);
        m.begin = big32(p + 4);
        if (m.index >= pieceCount)
            return fault(QStringLiteral("piece %1 of %2 pieces").arg(m.index).arg(pieceCount));
        m.payload = QByteArray(p + 8, qsizetype(payloadLength - 8));
        break;
    case PeerMessage::Extended:
        if (payloadLength < 1)
            return fault(QStringLiteral("empty extended message"));
        m.extendedId = quint8(p[0]);
        m.payload = QByteArray(p + 1, qsizetype(payloadLength - 1));
        break;
    default:
        m.known = false;
        break;
    }
    result.status = Status::Message;
    result.consumed = qsizetype(messageLength + 4);
    return result;
}

}  // namespace ombrelay
