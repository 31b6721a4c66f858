#pragma once

#include "engine/core/PeerService.h"
#include "engine/peers/IncomingPeers.h"
#include "engine/peers/PeerManager.h"
#include "engine/tracker/AnnouncePeers.h"
#include "engine/wire/PeerWire.h"

#include <QHash>
#include <QObject>
#include <QTimer>
#include <functional>

namespace ombrelay {

class TorrentSwarm;

// The engine's peer connections: one TorrentSwarm per started torrent (over its storage, "peers.db" in
// its session folder), outgoing dials spread by PeerManager, every wire ticked each second, incoming
// connections attached by info hash. Blocks go through the torrent's storage, so they are counted and
// their senders blamed when a piece fails. Installs itself as the PeerService while it lives; it is
// also the trackers' AnnouncePeers. Main thread only.
class EnginePeerService : public QObject, public PeerService, public AnnouncePeers
{
    Q_OBJECT
public:
    // `clock` (monotonic milliseconds, default a steady clock) times everything of the peers: the connection
    // manager (the rest of dropped peers, redials and the silence that pruning looks for) and every
    // connection, dialled or accepted, from its handshake on (time-outs, keep-alives, silence limit).
    explicit EnginePeerService(std::function<quint16()> publicPort, QObject* parent = nullptr,
                               std::function<qint64()> clock = {});
    ~EnginePeerService() override;

    // The torrent's swarm, made on first use; null while it has no storage.
    TorrentSwarm* swarmFor(TorrentLine& torrent);
    // The swarm of the torrent taking peers that an incoming connection names by its info hash or its
    // obfuscated info hash; null otherwise.
    TorrentSwarm* swarmForIncoming(const QByteArray& hash, PeerWire::TorrentKey key);
    // An accepted descriptor (network order); false refuses it and the caller closes it.
    bool acceptIncomingPeer(int fd, quint32 address, quint16 port);
    // Compact peers for an info hash (the DHT).
    void addCompactPeers(const QByteArray& infoHash, const QByteArray& compactPeers);
    // Ticks every swarm and the waiting incoming connections, then dials.
    void tick();

    // PeerService
    Counts peerCounts(const TorrentLine& torrent) const override;
    quint64 pendingPieceSize(const TorrentLine& torrent) const override;
    void connectToPeers() override;
    void disconnectFromPeers(TorrentLine& torrent) override;
    void optimizePeerConnections(TorrentLine& torrent) override;
    void cancelUnneededPieces(TorrentLine& torrent) override;
    void banPeer(TorrentLine& torrent, const QString& address) override;
    void dialPeer(TorrentLine& torrent, const QString& address) override;

    // AnnouncePeers
    QByteArray peerId(const TorrentLine& torrent) override;
    void addPeers(TorrentLine& torrent, const QList<AnnounceReply::Peer>& peers) override;

private:
    // The torrents that take peers (downloading or seeding), in list order: waiting, paused and stopped
    // ones get no swarm from the dialler, so they hold no peers file.
    static QList<TorrentLine*> activeTorrents();
    void forget(const TorrentLine* torrent);

    std::function<quint16()> m_publicPort;
    std::function<qint64()> m_clock;
    QHash<const TorrentLine*, TorrentSwarm*> m_swarms;  // children of this object
    // The torrents with a swarm by the two hashes incoming connections name them by, each hashed once.
    QHash<QByteArray, TorrentLine*> m_torrentsByInfoHash;
    QHash<QByteArray, TorrentLine*> m_torrentsByObfuscatedHash;
    IncomingPeers m_incoming;
    PeerManager m_manager;
    QTimer m_timer;
};

}  // namespace ombrelay
