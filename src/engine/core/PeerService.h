#pragma once

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
};

}  // namespace ombrelay
