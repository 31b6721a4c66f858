#pragma once

#include <QString>
#include <QtGlobal>

namespace ombrelay {

class TorrentLine;

// The torrent model's calls into the peer connections and the connection manager. The peer code
// installs its service; until then a torrent has no peers.
class PeerService
{
public:
    virtual ~PeerService() = default;

    static PeerService& instance();  // never null
    static void install(PeerService* service);

    struct Counts
    {
        int active = 0;      // exchanging messages
        int activeSeeds = 0; // of those, peers that report every piece
        int connecting = 0;
    };
    virtual Counts peerCounts(const TorrentLine& torrent) const = 0;
    // Bytes of pieces that peers are delivering and that are not counted as downloaded yet.
    virtual quint64 pendingPieceSize(const TorrentLine& torrent) const = 0;

    virtual void connectToPeers() = 0;  // process-wide: dial known peers
    virtual void disconnectFromPeers(TorrentLine& torrent) = 0;
    virtual void optimizePeerConnections(TorrentLine& torrent) = 0;  // the 65 s timer
    virtual void cancelUnneededPieces(TorrentLine& torrent) = 0;

    // Verdicts of the torrent's store. Verified: tell the peers (have), cancel the piece's outstanding
    // requests and refill the queues. Failed: the piece's blocks are wanted again.
    virtual void pieceVerified(TorrentLine&, quint32 /*piece*/) {}
    virtual void pieceFailed(TorrentLine&, quint32 /*piece*/) {}
    // Disconnects the peer ("a.b.c.d:port") from the torrent and never dials it again this session.
    virtual void banPeer(TorrentLine&, const QString& /*address*/) {}
    // Dials a peer named outside the trackers and the DHT (the headless driver's --peer).
    virtual void dialPeer(TorrentLine&, const QString& /*address*/) {}
};

}  // namespace ombrelay
