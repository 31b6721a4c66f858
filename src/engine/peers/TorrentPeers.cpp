#include "engine/peers/TorrentPeers.h"

#include "engine/blocklist/Blocklist.h"
#include "kit/SteadyClock.h"

#include <algorithm>

namespace ombrelay {

TorrentPeers::TorrentPeers(const QString& databasePath, Environment environment)
    : m_databasePath(databasePath), m_environment(std::move(environment))
{
    if (!m_environment.mayConnect)
        m_environment.mayConnect = [] { return true; };
    if (!m_environment.isRefused)
        m_environment.isRefused = [](quint32 address) { return Blocklist::instance().shouldRefuseAddress(address); };
    if (!m_environment.clock)
        m_environment.clock = steadyMilliseconds;
    if (!m_environment.ownAddresses)
        m_environment.ownAddresses = &OwnAddresses::instance();
}

TorrentPeers::~TorrentPeers() = default;

PeersDatabase& TorrentPeers::database()
{
    if (!m_database)
        m_database = std::make_unique<PeersDatabase>(m_databasePath);
    return *m_database;
}

QList<PeerLinkPtr> TorrentPeers::allPeers() const
{
    QList<PeerLinkPtr> peers;
    for (const Connection& connection : m_connections)
        peers.append(connection.link);
    return peers;
}

int TorrentPeers::numberOfConnectingPeers() const
{
    return int(std::count_if(m_connections.begin(), m_connections.end(),
                             [](const Connection& c) { return c.phase == Phase::Connecting; }));
}

int TorrentPeers::numberOfActivePeers() const
{
    return int(std::count_if(m_connections.begin(), m_connections.end(),
                             [](const Connection& c) { return c.phase == Phase::Active; }));
}

int TorrentPeers::numberOfAvailablePeerSlots() const
{
    return m_environment.maxPeers - numberOfConnectingPeers() - numberOfActivePeers();
}

TorrentPeers::Connection* TorrentPeers::find(const PeerLink* peer)
{
    const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                 [peer](const Connection& c) { return c.link.get() == peer; });
    return it == m_connections.end() ? nullptr : &*it;
}

bool TorrentPeers::isConnected(const PeerAddress& peer) const
{
    return std::any_of(m_connections.begin(), m_connections.end(),
                       [&peer](const Connection& c) { return c.link->listeningAddress() == peer; });
}

void TorrentPeers::peerIsConnecting(PeerLink* peer)
{
    if (Connection* connection = find(peer))
        connection->phase = Phase::Connecting;
}

void TorrentPeers::peerBecameActive(PeerLink* peer)
{
    if (Connection* connection = find(peer)) {
        connection->phase = Phase::Active;
        m_redials.forget(peer->peerAddress());
        if (connection->activeSince < 0)
            connection->activeSince = now();
    }
}

void TorrentPeers::peerBecameInactive(PeerLink* peer)
{
    if (Connection* connection = find(peer))
        connection->phase = Phase::Inactive;
}

void TorrentPeers::recordBytes(Connection& connection)
{
    const quint64 total = connection.link->bytesDownloaded();
    const std::optional<PeerAddress> row = connection.link->listeningAddress();
    if (row && total > connection.bytesRecorded)
        database().addDownloadedBytes(*row, total - connection.bytesRecorded);
    connection.bytesRecorded = std::max(total, connection.bytesRecorded);
}

void TorrentPeers::changeRows(const std::function<void(PeersDatabase&)>& change)
{
    const bool wasOpen = isDatabaseOpen();
    change(database());
    if (!wasOpen && !mayConnect())
        m_database.reset();  // written, then closed on the queue
}

void TorrentPeers::forgetRow(const PeerAddress& peer)
{
    changeRows([&peer](PeersDatabase& rows) { rows.deletePeer(peer); });
    m_dialBatch.removeAll(peer);
}

bool TorrentPeers::addNamedPeer(const PeerAddress& peer)
{
    bool added = false;
    changeRows([&](PeersDatabase& rows) { added = rows.insertPeers({peer}) > 0; });
    return added;
}

void TorrentPeers::removePeer(PeerLink* peer)
{
    const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                 [peer](const Connection& c) { return c.link.get() == peer; });
    if (it == m_connections.end())
        return;
    recordBytes(*it);
    const std::optional<PeerAddress> row = it->link->listeningAddress();
    const bool exchangedMessages = it->activeSince >= 0;
    const bool dialled = it->dialled;
    const PeerLinkPtr keepAlive = it->link;  // the caller may be the link itself
    m_connections.erase(it);
    m_lastExchange.remove(keepAlive->peerAddress());

    if (!row)
        return;  // an incoming peer that named no port it listens on: it has no row
    const PeerAddress address = *row;
    if (m_pruned.contains(address))
        return;  // its row stays active: not dialled again before the torrent stops
    const PeerLink::Ending ending = keepAlive->ending();
    // A tracker or the DHT handed us our own listener: never dialled again this session.
    if (ending == PeerLink::Ending::Ourselves && dialled)
        return connectedToOurselves(address);
    const bool brokeProtocol = ending == PeerLink::Ending::BrokeProtocol || isShunned(address);
    if (!brokeProtocol && !exchangedMessages && dialled && ending == PeerLink::Ending::Lost
        && m_redials.dialFailed(address, keepAlive->handshakeMode(), now(), keepAlive->peerAnswered())) {
        database().setActivity(address, PeersDatabase::Activity::Resting);  // until its redial
        return;
    }
    if (brokeProtocol || !exchangedMessages) {
        m_redials.forget(address);
        forgetRow(address);
        return;
    }
    database().setActivity(address, PeersDatabase::Activity::Resting);
    m_restingUntil.insert(address, now() + kRedialDelayMs);
}

bool TorrentPeers::isShunned(const PeerAddress& peer) const
{
    return isBanned(peer.address) || m_environment.ownAddresses->contains(peer);
}

QList<PeerAddress> TorrentPeers::withoutShunned(QList<PeerAddress> peers) const
{
    peers.removeIf([this](const PeerAddress& peer) { return isShunned(peer); });
    return peers;
}

int TorrentPeers::addCompactPeers(QByteArrayView compact)
{
    if (!mayConnect())
        return 0;
    return database().insertPeers(withoutShunned(PeerAddress::fromCompactList(compact, PeersDatabase::kMaxRows)));
}

int TorrentPeers::addPeers(const QList<AnnounceReply::Peer>& peers)
{
    if (!mayConnect())
        return 0;
    QList<PeerAddress> addresses;
    addresses.reserve(peers.size());
    for (const AnnounceReply::Peer& peer : peers)
        addresses.append({peer.address, peer.port});
    return database().insertPeers(withoutShunned(addresses));
}

int TorrentPeers::addExchangedPeers(const PeerLink& from, QByteArrayView added)
{
    if (!mayConnect())
        return 0;
    const PeerAddress source = from.peerAddress();
    const qint64 time = now();
    const auto last = m_lastExchange.constFind(source);
    if (last != m_lastExchange.constEnd() && time - *last < kMinExchangeIntervalMs)
        return 0;
    m_lastExchange.insert(source, time);
    return database().insertPeers(withoutShunned(PeerAddress::fromCompactList(added, kMaxExchangedPeers)));
}

bool TorrentPeers::addIncomingPeer(const PeerLinkPtr& peer)
{
    if (!peer || !mayConnect() || !canAcceptIncomingPeer() || find(peer.get())
        || isBanned(peer->peerAddress().address))
        return false;
    m_connections.push_back({peer, Phase::Connecting, -1, 0});
    if (const std::optional<PeerAddress> row = peer->listeningAddress())
        storeIncomingPeer(*row);
    return true;
}

void TorrentPeers::listeningPortNamed(PeerLink* peer)
{
    if (!find(peer))
        return;  // not attached yet: stored when it is
    if (const std::optional<PeerAddress> row = peer->listeningAddress())
        storeIncomingPeer(*row);
}

void TorrentPeers::storeIncomingPeer(const PeerAddress& peer)
{
    if (isShunned(peer))
        return;
    database().insertPeer(peer, PeersDatabase::Activity::Active);
    // Stored before as inactive or resting: now in use, so it is not dialled as well.
    database().setActivity(peer, PeersDatabase::Activity::Active);
    m_restingUntil.remove(peer);
    m_redials.forget(peer);
    m_dialBatch.removeAll(peer);
}

void TorrentPeers::releaseRestedPeers(qint64 time)
{
    for (auto it = m_restingUntil.begin(); it != m_restingUntil.end();) {
        if (it.value() <= time && !isConnected(it.key())) {
            database().setActivity(it.key(), PeersDatabase::Activity::Inactive);
            it = m_restingUntil.erase(it);
        } else {
            ++it;
        }
    }
}

bool TorrentPeers::hasDialablePeers()
{
    if (!mayConnect())
        return false;
    if (!m_dialBatch.isEmpty() || m_redials.hasDue(now()))
        return true;
    releaseRestedPeers(now());
    return database().hasDialablePeers();
}

bool TorrentPeers::connectToOnePeer()
{
    if (!mayConnect() || !m_environment.dial)
        return false;
    while (const std::optional<PeerRedials::Redial> redial = m_redials.takeDue(now())) {
        if (isConnected(redial->peer) || !mayDial(redial->peer)) {
            m_redials.forget(redial->peer);
            continue;
        }
        const Dial dial = m_environment.dial(redial->peer, redial->handshake);
        if (dial.localFailure) {  // not the peer's doing: the attempt does not count
            m_redials.putBack(*redial, now());
            return false;
        }
        if (!dial.link) {  // the peer refused at once: the attempt counts
            if (!m_redials.dialFailed(redial->peer, redial->handshake, now()))
                forgetRow(redial->peer);
            return false;
        }
        startDial(redial->peer, dial.link);
        return true;
    }
    // The batch may be stale: rows dialled, connected from outside or deleted since it was read are
    // passed over. One fresh read per call at most.
    bool refilled = false;
    for (;;) {
        if (m_dialBatch.isEmpty()) {
            if (refilled)
                return false;
            releaseRestedPeers(now());
            for (const PeersDatabase::Row& row : database().peersToDial())
                m_dialBatch.append(row.peer);
            refilled = true;
            continue;
        }
        const PeerAddress peer = m_dialBatch.takeFirst();
        if (isConnected(peer) || m_restingUntil.contains(peer) || m_pruned.contains(peer)
            || m_redials.isWaiting(peer) || !mayDial(peer))
            continue;
        const Dial dial = m_environment.dial(peer, PeerLink::Handshake::Encrypted);
        if (dial.localFailure)  // not the peer's doing: its row stays, read again with the next batch
            return false;
        if (!dial.link) {  // the peer refused at once: the row goes, as for a connection that never came up
            forgetRow(peer);
            return false;
        }
        startDial(peer, dial.link);
        return true;
    }
}

bool TorrentPeers::mayDial(const PeerAddress& peer)
{
    if (peer.isUsable() && !isShunned(peer) && !m_environment.isRefused(peer.address))
        return true;
    forgetRow(peer);
    return false;
}

void TorrentPeers::startDial(const PeerAddress& peer, const PeerLinkPtr& link)
{
    m_connections.push_back({link, Phase::Connecting, -1, 0, true});
    database().setActivity(peer, PeersDatabase::Activity::Active);
}

int TorrentPeers::optimizePeerConnections()
{
    if (!m_database)
        return 0;  // closed: the torrent does not run, or has no peers yet
    int unused = m_database->numberOfUnusedPeers();
    if (unused < kMinUnusedPeersToPrune)
        return 0;
    const qint64 time = now();
    std::vector<PeerLinkPtr> silent;
    for (const Connection& connection : m_connections) {
        if (unused <= 0)
            break;
        if (connection.phase == Phase::Active && connection.link->bytesDownloaded() == 0 &&
            time - connection.activeSince > kSilentPeerMs) {
            silent.push_back(connection.link);
            --unused;
        }
    }
    // Disconnecting may call removePeer, which changes the connections: work on the list made above.
    for (const PeerLinkPtr& link : silent) {
        if (const std::optional<PeerAddress> row = link->listeningAddress())
            m_pruned.insert(*row);
        link->disconnectFromPeer();
    }
    return int(silent.size());
}

void TorrentPeers::banPeer(const PeerAddress& peer)
{
    // Its other ports' rows go when they come up to be dialled.
    m_banned.insert(peer.address);
    m_redials.forget(peer);
    forgetRow(peer);
    std::vector<PeerLinkPtr> connected;
    for (const Connection& connection : m_connections)
        if (connection.link->peerAddress().address == peer.address)
            connected.push_back(connection.link);
    for (const PeerLinkPtr& link : connected) {
        removePeer(link.get());
        link->disconnectFromPeer();
    }
}

void TorrentPeers::connectedToOurselves(const PeerAddress& address)
{
    m_environment.ownAddresses->add(address);
    m_redials.forget(address);
    forgetRow(address);
}

void TorrentPeers::updatePeersDatabase()
{
    for (Connection& connection : m_connections)
        recordBytes(connection);
}

void TorrentPeers::disconnectFromPeers()
{
    updatePeersDatabase();
    // Forgotten before they close, so ends reported during the close change no row.
    std::vector<Connection> connections;
    connections.swap(m_connections);
    for (const Connection& connection : connections)
        connection.link->disconnectFromPeer();
    m_dialBatch.clear();
    m_restingUntil.clear();
    m_redials.clear();
    m_pruned.clear();
    m_lastExchange.clear();
    // The changes are written before the file closes; the next open marks every row inactive.
    if (m_database) {
        m_database->markAllInactive();
        m_database.reset();
    }
}

}  // namespace ombrelay
