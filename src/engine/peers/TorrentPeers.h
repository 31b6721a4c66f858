#pragma once

#include "engine/peers/OwnAddresses.h"
#include "engine/peers/PeerLink.h"
#include "engine/peers/PeerRedials.h"
#include "engine/peers/PeersDatabase.h"
#include "engine/tracker/AnnounceReply.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <functional>
#include <memory>
#include <vector>

namespace ombrelay {

// One torrent's peers: its peer id, its known peers ("peers.db"), its connections (connecting or active),
// which stored peer to dial next and which silent connections to drop. The peer wire reports each
// connection's steps here; the global dialler (PeerManager) asks it to dial. Main thread only.
//
// The known peers are opened on first use while the torrent takes peers (it asks for some to dial, or
// receives some) and closed when it stops, so a torrent that does not run holds no file and no rows.
//
// A stored peer's row outlives a connection that exchanged messages and then dropped: the row rests
// (not dialled) for kRedialDelayMs. A dialled peer whose connection was lost before any message is
// redialled a few times (PeerRedials); when those attempts fail too, or a connection ended otherwise
// before any message, or the peer broke the protocol, its row goes. A dial that could not start for a
// reason of ours (no descriptor left, no route: offline) says nothing of the peer and keeps its row.
class TorrentPeers
{
public:
    struct Dial
    {
        PeerLinkPtr link;  // null when no connection could be made
        // No connection for a reason of ours rather than the peer's.
        bool localFailure = false;
    };
    struct Environment
    {
        // Builds a connection for the torrent and starts dialling it with the handshake given.
        std::function<Dial(const PeerAddress&, PeerLink::Handshake)> dial;
        // Whether the torrent takes peers at all (downloading or seeding). Default: always.
        std::function<bool()> mayConnect;
        // True refuses the address (network order). Default: Blocklist::instance().shouldRefuseAddress.
        std::function<bool(quint32 address)> isRefused;
        // Monotonic milliseconds. Default: a steady clock.
        std::function<qint64()> clock;
        // The addresses of our own listener. Default: OwnAddresses::instance().
        OwnAddresses* ownAddresses = nullptr;
        int maxPeers = 50;
    };

    static constexpr qint64 kRedialDelayMs = 180'000;
    static constexpr qint64 kSilentPeerMs = 180'000;
    static constexpr int kMinUnusedPeersToPrune = 11;
    static constexpr qsizetype kMaxExchangedPeers = 50;
    static constexpr qint64 kMinExchangeIntervalMs = 45'000;

    TorrentPeers(const QString& databasePath, Environment environment);
    ~TorrentPeers();

    // Connections.
    QList<PeerLinkPtr> allPeers() const;
    int numberOfConnectingPeers() const;
    int numberOfActivePeers() const;
    int numberOfAvailablePeerSlots() const;  // maxPeers minus connecting and active; may be negative
    bool canAcceptIncomingPeer() const { return numberOfAvailablePeerSlots() > 0; }

    // Steps the peer wire reports.
    void peerIsConnecting(PeerLink* peer);
    void peerBecameActive(PeerLink* peer);  // messages flow: the handshake is done
    void peerBecameInactive(PeerLink* peer);
    // The connection ended (or never came up); its ending decides what becomes of the row. Unknown
    // peers are ignored.
    void removePeer(PeerLink* peer);

    // Peers heard of. Each answers how many rows were new; unusable addresses (0.0.0.0/8, 224.0.0.0/3,
    // port 0), banned ones and our own are left out and the table stops at PeersDatabase::kMaxRows.
    int addCompactPeers(QByteArrayView compact);  // trackers, the DHT; ignored unless a multiple of 6
    int addPeers(const QList<AnnounceReply::Peer>& peers);  // a tracker's reply
    // Peer exchange from a connected peer: the first kMaxExchangedPeers entries of "added"; a message
    // that follows the previous one from the same peer within kMinExchangeIntervalMs is ignored.
    int addExchangedPeers(const PeerLink& from, QByteArrayView added);
    // An accepted incoming connection joins the connections while there is room (false otherwise). It
    // is stored, as active, under the port it listens on once it names one; before that it has no row.
    bool addIncomingPeer(const PeerLinkPtr& peer);
    // A connection named the port it listens on (PeerLink::listeningAddress).
    void listeningPortNamed(PeerLink* peer);
    // A peer named from outside (not a tracker, the DHT or peer exchange), kept for the torrent's run
    // even when it does not run now. Answers whether it was new.
    bool addNamedPeer(const PeerAddress& peer);

    // Dials a peer whose redial is due, else the best stored peer not connected, resting or refused.
    // False when none was dialled.
    bool connectToOnePeer();
    bool hasDialablePeers();
    // The 65 s work: with at least kMinUnusedPeersToPrune rows not in use, disconnects active peers
    // that delivered nothing since they became active more than kSilentPeerMs ago (one per unused row);
    // they are not dialled again before disconnectFromPeers. Answers how many were disconnected.
    int optimizePeerConnections();
    // A peer that sent bad data: its connections close, its row goes, and its address, whatever the
    // port, is neither dialled nor accepted again while this object lives (the session).
    void banPeer(const PeerAddress& peer);
    bool isBanned(quint32 address) const { return m_banned.contains(address); }  // network order
    // A connection reached our own listener at `address`: it joins our own addresses and its row goes.
    void connectedToOurselves(const PeerAddress& address);
    // Stopping: records the bytes, closes every connection, forgets them, marks every row inactive.
    void disconnectFromPeers();
    // Adds each connection's bytes received since the last record to its row.
    void updatePeersDatabase();

    // The known peers, opened when closed.
    PeersDatabase& database();
    bool isDatabaseOpen() const { return m_database != nullptr; }

private:
    enum class Phase { Connecting, Active, Inactive };
    struct Connection
    {
        PeerLinkPtr link;
        Phase phase = Phase::Connecting;
        qint64 activeSince = -1;  // first time it became active
        quint64 bytesRecorded = 0;
        bool dialled = false;
    };

    Connection* find(const PeerLink* peer);
    bool isConnected(const PeerAddress& peer) const;
    // Banned, or our own listener.
    bool isShunned(const PeerAddress& peer) const;
    QList<PeerAddress> withoutShunned(QList<PeerAddress> peers) const;
    bool mayDial(const PeerAddress& peer);  // unusable, shunned or refused peers lose their row
    void startDial(const PeerAddress& peer, const PeerLinkPtr& link);
    // An incoming peer's row, in use: inserted or marked active, neither resting nor to be redialled.
    void storeIncomingPeer(const PeerAddress& peer);
    void recordBytes(Connection& connection);
    void forgetRow(const PeerAddress& peer);
    // Changes the known peers; a torrent that takes no peers opens them for the change only.
    void changeRows(const std::function<void(PeersDatabase&)>& change);
    void releaseRestedPeers(qint64 now);
    qint64 now() const { return m_environment.clock(); }
    bool mayConnect() const { return m_environment.mayConnect(); }

    QString m_databasePath;
    std::unique_ptr<PeersDatabase> m_database;
    Environment m_environment;
    std::vector<Connection> m_connections;
    QList<PeerAddress> m_dialBatch;
    QHash<PeerAddress, qint64> m_restingUntil;
    PeerRedials m_redials;
    QSet<PeerAddress> m_pruned;
    QSet<quint32> m_banned;  // addresses, network order
    QHash<PeerAddress, qint64> m_lastExchange;
};

}  // namespace ombrelay
