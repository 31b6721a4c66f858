#pragma once

#include "engine/core/PeerService.h"
#include "engine/peers/TorrentPeers.h"
#include "engine/wire/PeerTorrent.h"
#include "engine/wire/RequestedBlocks.h"

#include <QObject>
#include <set>
#include <memory>
#include <vector>

namespace ombrelay {

class PeerWire;
class PieceStore;

// One torrent's live connections: its known peers (TorrentPeers), the peer wires dialled or attached,
// and the bridge between the wires and the torrent's piece store. Blocks from peers go to the store;
// verified pieces go out to every wire (have, cancels, interest). Main thread only.
class TorrentSwarm : public QObject, public PeerTorrent
{
    Q_OBJECT
public:
    // What the swarm reads of its torrent; unset functions take the defaults named.
    struct Torrent
    {
        QByteArray infoHash;
        QByteArray peerId;
        std::function<quint16()> publicPort;              // default 0
        std::function<bool(quint32 piece)> isPieceWanted; // default every piece
        std::function<bool()> mayConnect;                 // default always
        std::function<bool()> uploadLimitIsZero;          // default false; read again each tick
        // Takes a block from a peer ("a.b.c.d:port"); default: straight into the piece store.
        std::function<bool(const QString& peer, quint32 piece, quint32 offset, const QByteArray& data)> storeBlock;
        // Piece payload bytes received from and sent to peers (counts and rates); default ignored.
        std::function<void(quint32 bytes)> bytesReceived;
        std::function<void(quint32 bytes)> bytesSent;
        // A peer named its DHT node (address in host order); default ignored.
        std::function<void(quint32 address, quint16 port)> pingDhtNode;
        BandwidthProvision* downloadProvision = nullptr;
        BandwidthProvision* uploadProvision = nullptr;
        int maxPeers = 50;
        // Monotonic milliseconds of the wires and the known peers (rests, redials, pruning); default a
        // steady clock. A wire accepted elsewhere and attached here was timed by the same clock.
        std::function<qint64()> clock;
        // The known peers' file could not be opened (checked each tick); default ignored.
        std::function<void(const QString& error)> peersFileFailed;
        // The addresses of our own listener; default the process's (OwnAddresses::instance()).
        OwnAddresses* ownAddresses = nullptr;
    };

    // `databasePath` is the torrent's "peers.db"; empty keeps the rows in memory.
    TorrentSwarm(Torrent torrent, PieceStore& store, const QString& databasePath, QObject* parent = nullptr);
    ~TorrentSwarm() override;

    TorrentPeers& peers() { return *m_peers; }
    PieceStore& store() { return m_store; }

    // Time-outs and keep-alives of every wire; connections that finished their handshake become active;
    // when the zero upload limit came or went, every wire decides its choking again; a peers file that
    // could not be opened is reported.
    void tick();
    // An incoming wire whose handshake named this torrent joins its connections; false closes it.
    bool attachIncoming(std::shared_ptr<PeerWire> wire);
    PeerService::Counts counts() const;
    // Bytes of piece messages still arriving (a received block is counted by the torrent already).
    quint64 pendingPieceSize() const;
    // Messages sent to and received from the connected peers.
    qint64 totalMessagesSent() const;
    qint64 totalMessagesReceived() const;
    void cancelUnneededPieces();
    // Closes the peer's connections and never dials it again.
    void banPeer(const PeerAddress& peer) { m_peers->banPeer(peer); }
    // A peer named from outside (not a tracker, the DHT or peer exchange) joins the known peers.
    void addPeer(const PeerAddress& peer);

    // PeerTorrent
    QByteArray infoHash() const override { return m_torrent.infoHash; }
    QByteArray peerId() const override { return m_torrent.peerId; }
    quint16 publicPort() const override;
    quint32 pieceCount() const override;
    quint32 pieceLength() const override;
    quint64 totalLength() const override;
    bool isPieceVerified(quint32 piece) const override;
    bool isPieceNeeded(quint32 piece) const override;
    bool hasBlock(quint32 piece, quint32 offset) const override;
    bool hasAllBlocks(quint32 piece) const override;
    bool isSeeding() const override;
    std::shared_ptr<RequestedBlocks> requestedBlocks() override { return m_requested; }
    bool mayRequestBlocks() override;
    bool isPieceAvailable(quint32 piece) const override;
    void piecesAnnounced(const QBitArray& available) override;
    void requestsReleased(PeerWire& from) override;
    bool uploadLimitIsZero() const override;
    bool isPeerIdConnected(const QByteArray& peerId, const PeerWire* except) const override;
    void blockArrived(PeerWire& from, quint32 piece, quint32 offset, const QByteArray& data) override;
    void readBlock(quint32 piece, quint32 offset, quint32 length, ReadCallback done) override;
    void peersExchanged(PeerWire& from, const QByteArray& added) override;
    void listeningPortNamed(PeerWire& from) override;
    void connectedToOurselves(const PeerAddress& address) override;
    void pieceBytesReceived(quint32 bytes) override;
    void pieceBytesSent(quint32 bytes) override;
    void pingDhtNode(quint32 address, quint16 port) override;
    BandwidthProvision* downloadProvision() override { return m_torrent.downloadProvision; }
    BandwidthProvision* uploadProvision() override { return m_torrent.uploadProvision; }

signals:
    // The piece passed its check; the wires were told.
    void pieceVerified(quint32 piece);

private:
    TorrentPeers::Dial dial(const PeerAddress& peer, PeerLink::Handshake handshake);
    void updateChokeOnLimitChange();
    void reportPeersFileFailure();
    void adopt(const std::shared_ptr<PeerWire>& wire);
    void wireEnded(PeerWire& wire);
    void forgetReceived(quint32 piece);
    void onPieceVerified(quint32 piece);
    // Every connection but `except` asks for blocks it has room for.
    void requestMoreBlocks(const PeerWire* except = nullptr);
    qint64 now() const { return m_torrent.clock(); }

    Torrent m_torrent;
    PieceStore& m_store;
    std::shared_ptr<RequestedBlocks> m_requested = std::make_shared<RequestedBlocks>();
    std::unique_ptr<TorrentPeers> m_peers;
    std::vector<std::shared_ptr<PeerWire>> m_wires;
    std::vector<std::shared_ptr<PeerWire>> m_finished;  // ended; released on the next tick
    std::vector<PeerWire*> m_connecting;
    std::set<quint64> m_received;  // blocks stored but not verified
    mutable QBitArray m_available;  // pieces some connection has
    mutable bool m_availableStale = false;  // a connection ended, or a tick came, since it was gathered
    bool m_uploadLimitWasZero = false;
};

}  // namespace ombrelay
