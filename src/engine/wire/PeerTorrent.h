#pragma once

#include "engine/peers/PeerAddress.h"
#include "engine/wire/PeerMessage.h"

#include <QBitArray>
#include <QByteArray>
#include <functional>
#include <memory>
#include <optional>

namespace ombrelay {

class BandwidthProvision;
class PeerWire;
class RequestedBlocks;

// What a peer connection needs of its torrent: identity, piece layout and state, storage. The torrent
// model's adapter implements it; tests fake it. Main thread only.
class PeerTorrent
{
public:
    using ReadCallback = std::function<void(std::optional<QByteArray>)>;

    virtual ~PeerTorrent() = default;
    virtual QByteArray infoHash() const = 0;
    virtual QByteArray peerId() const = 0;
    virtual quint16 publicPort() const = 0;
    virtual quint32 pieceCount() const = 0;
    virtual quint32 pieceLength() const = 0;
    virtual quint64 totalLength() const = 0;
    virtual bool isPieceVerified(quint32 piece) const = 0;
    // Wanted and not verified yet.
    virtual bool isPieceNeeded(quint32 piece) const = 0;
    // The block was received (stored or on its way to disk) and need not be requested again.
    virtual bool hasBlock(quint32 piece, quint32 offset) const = 0;
    // Every block of the piece was received.
    virtual bool hasAllBlocks(quint32 piece) const
    {
        for (quint32 offset = 0; offset < pieceSize(piece); offset += PeerMessage::kBlockSize)
            if (!hasBlock(piece, offset))
                return false;
        return true;
    }
    virtual bool isSeeding() const = 0;
    // The requests in flight over all the torrent's connections; null: each connection counts its own.
    virtual std::shared_ptr<RequestedBlocks> requestedBlocks() { return nullptr; }
    // False while received blocks wait for the disk: no more are asked for until it catches up.
    virtual bool mayRequestBlocks() { return true; }
    // Some connection of the torrent has the piece: the end of the download waits only for those.
    virtual bool isPieceAvailable(quint32 /*piece*/) const { return true; }
    // The peer announced pieces; `available` is all it has now.
    virtual void piecesAnnounced(const QBitArray& /*available*/) {}
    // A connection dropped requests it still holds (a choke, a time-out): the others may ask for them.
    virtual void requestsReleased(PeerWire& /*from*/) {}
    virtual bool uploadLimitIsZero() const = 0;
    // Another connection of this torrent already talks to that peer id.
    virtual bool isPeerIdConnected(const QByteArray& peerId, const PeerWire* except) const = 0;
    // A requested block arrived whole, from `from`.
    virtual void blockArrived(PeerWire& from, quint32 piece, quint32 offset, const QByteArray& data) = 0;
    // Reads a span of a verified piece off the main thread; `done` runs on the main thread.
    virtual void readBlock(quint32 piece, quint32 offset, quint32 length, ReadCallback done) = 0;
    // The "added" entries of a peer exchange message, as the peer sent them; the receiver caps and
    // spaces them per peer.
    virtual void peersExchanged(PeerWire& from, const QByteArray& added) = 0;
    // Piece payload bytes written to a peer, for the torrent's upload count and rate.
    virtual void pieceBytesSent(quint32 /*bytes*/) {}
    // Piece payload bytes read from a peer as they arrive, before their block is whole, for the
    // torrent's download rate.
    virtual void pieceBytesReceived(quint32 /*bytes*/) {}
    // An incoming connection's peer named the port it listens on (PeerLink::listeningAddress).
    virtual void listeningPortNamed(PeerWire& /*from*/) {}
    // An accepted connection came from ourselves: peers reach our listener at `address`.
    virtual void connectedToOurselves(const PeerAddress& /*address*/) {}
    // A peer's port message named its DHT node (address in host order): the DHT pings it.
    virtual void pingDhtNode(quint32 /*address*/, quint16 /*port*/) {}
    virtual BandwidthProvision* downloadProvision() = 0;
    virtual BandwidthProvision* uploadProvision() = 0;

    quint32 pieceSize(quint32 piece) const
    {
        const quint64 start = quint64(piece) * pieceLength();
        return start >= totalLength() ? 0 : quint32(qMin<quint64>(pieceLength(), totalLength() - start));
    }
};

}  // namespace ombrelay
